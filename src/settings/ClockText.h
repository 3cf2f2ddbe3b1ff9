#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace kx {

// The editor's clock box: "hh:mm AM/PM" for the 12-hour clock format (item 1 of the
// Time setting), "hh:mm" for the 24-hour one.
QString clockText(const QTime& time, bool twelveHour);

// The editor's date box: "mm/dd/yy".
QString dateText(const QDate& date);

} // namespace kx
