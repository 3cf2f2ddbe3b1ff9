#pragma once

#include "cli/gateway/GatewayConfig.h"
#include "cli/gateway/ModbusServer.h"
#include "cli/gateway/ServiceNotify.h"

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <memory>

namespace kx::cli {

class IndicatorFeed;

// The plant gateway: one feed per indicator (its line, its poll cycle, its MQTT connection
// when there is a broker), the Modbus server in front of them all, and what the service
// manager hears. Everything runs on the one event loop.
class Gateway : public QObject, public ModbusUnits
{
    Q_OBJECT
public:
    Gateway(const QString& configPath, const QString& programFolder, bool quiet);
    ~Gateway() override;

    // Starts serving config; false with why when a listener cannot be set up.
    bool start(const GatewayConfig& config, QString* why);
    // Reads the configuration file again; a file that does not pass its checks is refused and
    // the running one kept.
    void reload();
    // Says goodbye on the broker, closes every socket and line.
    void stop();
    quint16 modbusPort() const { return server_ ? server_->port() : 0; }

    // ModbusUnits
    bool hasUnit(int unit) const override;
    UnitState unitState(int unit) const override;
    modbus::Exception pressCoil(int unit, int coil) override;
    modbus::Exception writeTare(int unit, std::int32_t scaled) override;

    // A line for the journal: its syslog priority first.
    void log(int priority, const QString& text) const;

private:
    struct Unit
    {
        GatewayIndicator config;
        std::unique_ptr<IndicatorFeed> feed;
        std::optional<DecodedFrame> frame;
        std::uint16_t frames = 0;
        QElapsedTimer lastFrame;
        WriteOutcome lastWrite = WriteOutcome::None;
        std::optional<std::int32_t> tare;
    };
    bool startFeeds(const GatewayConfig& config, QString* why);
    void stopFeeds();
    modbus::Exception feedCommand(int unit, const QByteArray& text);
    void updateStatus();
    QString statusText() const;

    QString configPath_;
    QString programFolder_;
    bool quiet_;
    GatewayConfig config_;
    std::vector<std::unique_ptr<Unit>> units_;
    std::map<int, Unit*> byUnit_;
    std::unique_ptr<ModbusServer> server_;
    ServiceNotify notify_;
};

} // namespace kx::cli
