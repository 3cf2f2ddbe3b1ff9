#pragma once

#include "link/ReplyFrame.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace kx {

// One shown frame as a record: when it came and what the face made of it.
struct WeightRecord
{
    QDateTime time;
    DecodedFrame frame;
};

// The number the face shows, or none when it shows something else (" OVERLD", "------", a
// blank field). A sign may stand apart from the digits, as on the indicator ("-  1.50").
std::optional<double> shownNumber(const QString& weightText);
// That number as decimal text with the indicator's own decimals ("12.50", "-0.5"); empty when
// there is none. Never an exponent, so any reader of CSV or JSON takes it.
QString shownNumberText(const QString& weightText);

// "lb", "kg", "oz", "g", or empty when the frame names no units.
QString unitsName(FrameUnits units);

// ISO 8601 local time with milliseconds and the UTC offset: "2026-12-10T14:05:31.250+01:00".
QString isoTimeWithOffset(const QDateTime& time);

// RFC 4180: a field with a comma, a quote, a line break or blanks at either end goes in quotes,
// its quotes doubled.
QByteArray csvField(const QString& text);
// The header row and one row a frame, each ended by CR LF.
QByteArray csvHeader();
QByteArray csvRow(const WeightRecord& record);

// One JSON object on one line (no line end): time, weight (a number or null), text, units, net,
// settled.
QByteArray jsonLine(const WeightRecord& record);

} // namespace kx
