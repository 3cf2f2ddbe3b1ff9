// Any seventeen bytes as a reply frame, made into the records a recording and weigh --json write:
// the JSON line is valid JSON whose weight is a number or null and agrees with the CSV's weight
// field; the CSV row reads back as exactly six fields; and the number, when there is one, is
// what the trend's series takes.
#include "FuzzCheck.h"
#include "trend/TrendSeries.h"
#include "trend/WeightRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace kx;

namespace {

// RFC 4180 read back: the fields of one row ended by CR LF.
QList<QByteArray> readCsvRow(const QByteArray& row)
{
    QList<QByteArray> fields{QByteArray()};
    bool quoted = false;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted) {
            if (c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
                fields.last() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.last() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.append(QByteArray());
        } else if (c == '\r' && i + 2 == row.size() && row[i + 1] == '\n') {
            return fields;
        } else {
            fields.last() += c;
        }
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const WeightRecord record{QDateTime(QDate(2026, 12, 10), QTime(14, 5, 31, 250), Qt::UTC),
                              decodeReplyFrame(bytes)};
    const std::optional<double> number = shownNumber(record.frame.weight);
    const QString text = shownNumberText(record.frame.weight);
    FUZZ_CHECK(number.has_value() == !text.isEmpty());

    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(jsonLine(record), &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && doc.isObject());
    const QJsonObject o = doc.object();
    FUZZ_CHECK(o.size() == 6);
    FUZZ_CHECK(o.value(QStringLiteral("text")).toString() == record.frame.weight);
    if (number) {
        FUZZ_CHECK(std::isfinite(*number));
        FUZZ_CHECK(o.value(QStringLiteral("weight")).isDouble());
        FUZZ_CHECK(o.value(QStringLiteral("weight")).toDouble() == *number);
    } else {
        FUZZ_CHECK(o.value(QStringLiteral("weight")).isNull());
    }

    const QList<QByteArray> fields = readCsvRow(csvRow(record));
    FUZZ_CHECK(fields.size() == 6);
    FUZZ_CHECK(fields[1] == text.toUtf8());
    FUZZ_CHECK(QString::fromUtf8(fields[2]) == record.frame.weight);

    TrendSeries series;
    series.add(0, number, record.frame.keepWeight, record.frame.net, record.frame.decimals,
               record.frame.units);
    FUZZ_CHECK(series.statistics(TrendSpan::OneMinute, 0).count == (number ? 1 : 0));
    return 0;
}
