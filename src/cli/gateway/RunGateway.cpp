// kxlink-cli gateway: every indicator of a plant from one configuration file, over Modbus TCP
// and MQTT at once, as a service the service manager starts, watches and reloads.
#include "cli/Commands.h"
#include "cli/Signals.h"
#include "cli/gateway/Gateway.h"

#include <QCoreApplication>
#include <cstdio>
#include <mosquitto.h>

namespace kx::cli {

void addGatewayOptions(QCommandLineParser& p)
{
    p.addOption({QStringLiteral("config"),
                 QStringLiteral("The gateway's configuration (default "
                                "/etc/kxlink/gateway.ini)."),
                 QStringLiteral("FILE"), QStringLiteral("/etc/kxlink/gateway.ini")});
    p.addOption({QStringLiteral("check"),
                 QStringLiteral("Check the configuration, say what it serves, and exit.")});
}

int runGateway(CliContext& c)
{
    const QString path = c.options.value(QStringLiteral("config"));
    QString why;
    const auto config = readGatewayConfig(path, &why);
    if (!config) {
        std::fprintf(stderr, "<3>kxlink-cli gateway: %s\n", qPrintable(why));
        return Usage;
    }
    if (c.options.isSet(QStringLiteral("check"))) {
        std::printf("%s: %lld indicator(s)", qPrintable(path),
                    static_cast<long long>(config->indicators.size()));
        if (config->modbus)
            std::printf(", Modbus TCP on %s:%u", qPrintable(config->modbus->address.toString()),
                        unsigned(config->modbus->port));
        if (config->mqtt)
            std::printf(", MQTT to %s:%d", qPrintable(config->mqtt->broker.host),
                        config->mqtt->broker.port);
        std::printf("\n");
        return Success;
    }

    Gateway gateway(path, c.programFolder, c.quiet);
    int status = Success;
    watchServiceSignals(
        [&gateway] {
            gateway.log(5, QStringLiteral("stopping"));
            QCoreApplication::exit(Success);
        },
        [&gateway] { gateway.reload(); });
    if (!gateway.start(*config, &why)) {
        gateway.log(3, why);
        status = PortError;
    } else {
        QCoreApplication::exec();
    }
    gateway.stop();
    mosquitto_lib_cleanup();
    return status;
}

} // namespace kx::cli
