#include "help/ModeLists.h"

namespace kx::ModeLists {

QStringList kx7400Mode1()
{
    return {QStringLiteral("OFF"),        QStringLiteral("button"), QStringLiteral("Automatic"),
            QStringLiteral("Continuous"), QStringLiteral("Polled"), QStringLiteral("rd7300"),
            QStringLiteral("rd7400"),     QStringLiteral("rd7500"), QStringLiteral("rd7600"),
            QStringLiteral("rd7800"),     QStringLiteral("rd9200"), QStringLiteral("ShipPoint"),
            QStringLiteral("UPS")};
}

QStringList kx7400Mode2()
{
    return {
        QStringLiteral("OFF"),    QStringLiteral("Automatic"),      QStringLiteral("Continuous"),
        QStringLiteral("Polled"), QStringLiteral("Remote Display"), QStringLiteral("ShipPoint"),
        QStringLiteral("UPS")};
}

QStringList kx7450Mode1()
{
    return kx7400Mode1();
}

QStringList kx7450Mode2()
{
    return kx7400Mode2();
}

} // namespace kx::ModeLists
