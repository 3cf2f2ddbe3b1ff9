#include "trend/WeightRecord.h"

#include <QRegularExpression>
#include <cmath>

namespace kx {
namespace {

// The number part of a weight text once blanks are gone: an optional sign, digits and at most
// one point, with at least one digit.
const QRegularExpression& numberPattern()
{
    static const QRegularExpression re(QStringLiteral("^([+-]?)(\\d+\\.?\\d*|\\.\\d+)$"));
    return re;
}

QString compactNumber(const QString& weightText)
{
    QString t = weightText;
    t.remove(QLatin1Char(' '));
    const QRegularExpressionMatch m = numberPattern().match(t);
    if (!m.hasMatch())
        return {};
    QString digits = m.captured(2);
    if (digits.startsWith(QLatin1Char('.')))
        digits.prepend(QLatin1Char('0'));
    if (digits.endsWith(QLatin1Char('.')))
        digits.chop(1);
    // JSON takes no leading zeros ("007.5" is not a number there).
    while (digits.size() > 1 && digits[0] == QLatin1Char('0') && digits[1] != QLatin1Char('.'))
        digits.remove(0, 1);
    return (m.captured(1) == QLatin1String("-") ? QStringLiteral("-") : QString()) + digits;
}

QByteArray jsonString(const QString& text)
{
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
        } else {
            out += QString(c).toUtf8();
        }
    }
    return out + '"';
}

} // namespace

std::optional<double> shownNumber(const QString& weightText)
{
    const QString t = compactNumber(weightText);
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString shownNumberText(const QString& weightText)
{
    QString t = compactNumber(weightText);
    // "-0.00" is zero; a reader should not have to know the indicator's sign of nothing.
    if (t.startsWith(QLatin1Char('-')) && shownNumber(weightText) == 0.0)
        t.remove(0, 1);
    return t;
}

QString unitsName(FrameUnits units)
{
    switch (units) {
    case FrameUnits::Grams:
        return QStringLiteral("g");
    case FrameUnits::Pounds:
        return QStringLiteral("lb");
    case FrameUnits::Kilograms:
        return QStringLiteral("kg");
    case FrameUnits::Ounces:
        return QStringLiteral("oz");
    case FrameUnits::None:
        break;
    }
    return {};
}

QString isoTimeWithOffset(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
           + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray csvField(const QString& text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
                       || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'))
                       || text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' '));
    QByteArray bytes = text.toUtf8();
    if (!quote)
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

QByteArray csvHeader()
{
    return "time,weight,text,units,net,settled\r\n";
}

QByteArray csvRow(const WeightRecord& r)
{
    const DecodedFrame& f = r.frame;
    QByteArray row = csvField(isoTimeWithOffset(r.time));
    row += ',' + csvField(shownNumberText(f.weight));
    row += ',' + csvField(f.weight);
    row += ',' + csvField(unitsName(f.units));
    row += f.net ? ",true" : ",false";
    row += f.keepWeight ? ",true" : ",false";
    return row + "\r\n";
}

QByteArray jsonLine(const WeightRecord& r)
{
    const DecodedFrame& f = r.frame;
    const QString number = shownNumberText(f.weight);
    QByteArray o = "{\"time\":" + jsonString(isoTimeWithOffset(r.time));
    o += ",\"weight\":" + (number.isEmpty() ? QByteArray("null") : number.toLatin1());
    o += ",\"text\":" + jsonString(f.weight);
    o += ",\"units\":" + jsonString(unitsName(f.units));
    o += f.net ? ",\"net\":true" : ",\"net\":false";
    o += f.keepWeight ? ",\"settled\":true}" : ",\"settled\":false}";
    return o;
}

} // namespace kx
