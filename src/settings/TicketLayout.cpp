#include "settings/TicketLayout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kx {

int ticketLineHeight(int pixelsPerInch, int linesPerInch)
{
    if (pixelsPerInch <= 0 || linesPerInch <= 0)
        return 16;
    const int lines = std::clamp(linesPerInch, MinLinesPerInch, MaxLinesPerInch);
    return std::max(1, std::min(pixelsPerInch, MaxPixelsPerInch) / lines);
}

int ticketCharWidth(const QString& text)
{
    bool ok = false;
    const qlonglong width = text.trimmed().toLongLong(&ok);
    if (!ok || width == 0)
        return DefaultCharWidth;
    return static_cast<int>(std::clamp<qlonglong>(width, 1, MaxCharWidth));
}

int snapToPitch(int raw, int step)
{
    if (step <= 0)
        return raw;
    const int r = raw % step; // C++ keeps the dividend's sign, as the rule asks
    // Wide enough that a position near the int range's ends cannot overflow on its way.
    const qint64 snapped = r > step / 2 ? qint64(raw) + (step - r) : qint64(raw) - r;
    return static_cast<int>(std::clamp<qint64>(snapped, INT_MIN, INT_MAX));
}

int pitchCell(int coordinate, int step)
{
    if (coordinate <= 0 || step <= 0)
        return 0;
    return coordinate / step;
}

QString cleanTicketCell(const QString& typed)
{
    QString text = typed.left(3);
    if (!text.isEmpty() && !text.back().isDigit())
        text.chop(1);
    return text;
}

int leadingNumber(const QString& text)
{
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = std::min(value * 10 + (c.unicode() - u'0'), MaxTicketCell);
    }
    return value;
}

double pageInches(const QString& text)
{
    bool ok = false;
    const double inches = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(inches) ? std::clamp(inches, 0.0, MaxPageInches) : 0.0;
}

QString formatPageBox(const QString& text)
{
    const double inches = pageInches(text);
    const qsizetype point = text.indexOf(u'.');
    const qsizetype decimals = point < 0 ? 0 : text.size() - point - 1;
    if (decimals < 2)
        return QString::number(inches, 'f', 1);
    const double rounded = std::round(inches * 100.0) / 100.0;
    return QString::number(rounded, 'f', 2);
}

std::span<const PrinterPaper> printerPapers()
{
    static const PrinterPaper papers[] = {
        {"Citizens IDP 3550", "6.0", "3.0", "1.375", "0.125", "0.125", "0.0"},
        {"Okidata 186", "5.5", "8.5", "1.0", "0.25", "0.25", "0.0"},
        {"Okidata 420", "5.5", "8.5", "1.0", "0.25", "0.25", "0.0"},
        {"Epson TM-U295", "5.5", "3.0", "1.5", "0.25", "0.25", "0.0"},
        {"Epson U590", "5.5", "6.0", "1.0", "0.25", "0.25", "0.0"},
    };
    return papers;
}

QString ticketLabelHint(const QString& name, const QString& line, const QString& column, int height,
                        int width)
{
    return QStringLiteral("(%1,%2,%3,%4,%5)").arg(name, line, column).arg(height).arg(width);
}

} // namespace kx
