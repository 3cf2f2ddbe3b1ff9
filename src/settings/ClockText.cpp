#include "settings/ClockText.h"

#include <QLocale>

namespace kx {

QString clockText(const QTime& time, bool twelveHour)
{
    // The C locale keeps "AM"/"PM" in English whatever the PC's language.
    const QLocale c = QLocale::c();
    return c.toString(time, twelveHour ? QStringLiteral("hh:mm AP") : QStringLiteral("HH:mm"));
}

QString dateText(const QDate& date)
{
    return QLocale::c().toString(date, QStringLiteral("MM/dd/yy"));
}

} // namespace kx
