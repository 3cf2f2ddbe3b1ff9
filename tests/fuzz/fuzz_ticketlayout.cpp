// A settings file's ticket values through the designer's arithmetic: whatever a hand-edited
// file holds, every place, pitch and snap stays in range and nothing overflows (the sanitizer
// build stops on signed overflow).
#include "FuzzCheck.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"
#include "settings/TicketLayout.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SettingsRecord record = readSettings(IniDocument::fromBytes(bytes));

    const QByteArray lpiText = record.value("LinesPerInch");
    const int lpiIndex = leadingInteger(lpiText);
    static const int kLines[] = {6, 8, 12};
    const int lpi = lpiIndex >= 0 && lpiIndex < 3 ? kLines[lpiIndex] : leadingInteger(lpiText);
    // Screens of any resolution, drops by any offset.
    for (const int dpi : {96, 1, 0, INT_MAX, INT_MIN}) {
        for (const int drop : {0, 6, -7, INT_MAX, INT_MIN}) {
            const int lineHeight = ticketLineHeight(dpi, lpi);
            const int charWidth = ticketCharWidth(QString::fromLatin1(record.value("CharWidth")));
            FUZZ_CHECK(lineHeight >= 1 && lineHeight <= MaxPixelsPerInch);
            FUZZ_CHECK(charWidth >= 1 && charWidth <= MaxCharWidth);

            for (const TicketField& field : record.ticket) {
                const int line = leadingNumber(QString::fromLatin1(field.row));
                const int column = leadingNumber(QString::fromLatin1(field.col));
                FUZZ_CHECK(line >= 0 && line <= MaxTicketCell && column >= 0 &&
                           column <= MaxTicketCell);
                FUZZ_CHECK(leadingInteger(field.row) >= 0 &&
                           leadingInteger(field.row) <= MaxTicketCell);
                FUZZ_CHECK(leadingInteger(field.col) >= 0 &&
                           leadingInteger(field.col) <= MaxTicketCell);
                // Where the label stands, and where a drop from there (by any offset) snaps to.
                const int top = line * lineHeight;
                const int left = column * charWidth;
                const int rawTop = top > INT_MAX - 10000 ? top : top + drop % 10000;
                const int snappedTop = snapToPitch(rawTop, lineHeight);
                const int snappedLeft = snapToPitch(drop, charWidth);
                FUZZ_CHECK(snappedTop % lineHeight == 0 || snappedTop == INT_MAX ||
                           snappedTop == INT_MIN);
                FUZZ_CHECK(snappedLeft % charWidth == 0 || snappedLeft == INT_MAX ||
                           snappedLeft == INT_MIN);
                (void)pitchCell(snappedTop, lineHeight);
                (void)pitchCell(left, charWidth);
                (void)ticketLabelHint(QStringLiteral("Time"), QString::fromLatin1(field.row),
                                      QString::fromLatin1(field.col), 16, 100);
            }
            for (const char* box :
                 {"EditHeight", "EditWidth", "EditTop", "EditLeft", "EditBottom", "EditRight"}) {
                const QString text = QString::fromLatin1(record.value(box));
                const double inches = pageInches(text);
                FUZZ_CHECK(inches >= 0.0 && inches <= MaxPageInches);
                FUZZ_CHECK(pageInches(formatPageBox(text)) <= MaxPageInches);
                // The page canvas in pixels at the screen's resolution.
                (void)static_cast<int>(inches * std::min(std::max(dpi, 1), MaxPixelsPerInch));
            }
        }
    }
    return 0;
}
