// kxlink-cli gateway: every indicator of a plant from one configuration file, over Modbus TCP
// and MQTT at once, as a service the service manager starts, watches and reloads.
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "cli/Signals.h"
#include "cli/gateway/Gateway.h"
#include "cli/platform/Stop.h"

#include <cstdio>
#include <memory>
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

namespace {

// The gateway on the program's one loop until SIGINT or SIGTERM; SIGHUP reads the
// configuration again.
class GatewayRun : public CommandRun
{
public:
    GatewayRun(const QString& path, const QString& programFolder, bool quiet,
               GatewayConfig config)
        : gateway_(path, programFolder, quiet), config_(std::move(config))
    {
    }
    ~GatewayRun() override
    {
        gateway_.stop();
        mosquitto_lib_cleanup();
    }

    void start() override
    {
        // Ctrl-C and SIGTERM only ask: the feeds say goodbye to the broker before the end.
        stopWatch_ = std::make_unique<StopWatch>(
            [this] {
                gateway_.log(5, QStringLiteral("stopping"));
                finish(Success);
            },
            [this] { gateway_.reload(); });
        watchReloadSignal();
        platform::ignoreBrokenPipes();
        QString why;
        if (!gateway_.start(config_, &why)) {
            gateway_.log(3, why);
            finish(PortError);
        }
    }

private:
    Gateway gateway_;
    GatewayConfig config_;
    std::unique_ptr<StopWatch> stopWatch_;
};

} // namespace

Started runGateway(CliContext& c)
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

    return std::make_unique<GatewayRun>(path, c.programFolder, c.quiet, *config);
}

} // namespace kx::cli
