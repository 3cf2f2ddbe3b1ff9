// Any bytes as a logbook: the check never crashes, names a line that exists, and agrees with
// the parse; a logbook that checks whole still checks once a line is appended to it.
#include "FuzzCheck.h"
#include "settings/Logbook.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<logbook::Line> lines = logbook::parse(bytes);
    QString why;
    const int bad = logbook::firstBadLine(bytes, &why);
    FUZZ_CHECK(bad >= 0 && bad <= lines.size());
    FUZZ_CHECK((bad == 0) == why.isEmpty());
    if (bad > 0)
        return 0;
    for (const logbook::Line& line : lines)
        FUZZ_CHECK(line.entry.has_value());
    // The next line as append() writes it keeps the chain whole.
    LogbookEntry e;
    e.time = QDateTime(QDate(2026, 12, 10), QTime(14, 2, 1), Qt::UTC);
    e.action = QStringLiteral("download");
    const QByteArray prev = lines.isEmpty() ? QByteArray(64, '0')
                                            : logbook::sha256Hex(lines.back().text);
    FUZZ_CHECK(logbook::firstBadLine(bytes + logbook::lineFor(e, prev) + '\n') == 0);
    return 0;
}
