#pragma once

#include "cli/gateway/GatewayConfig.h"
#include "cli/gateway/ModbusFrame.h"
#include "cli/gateway/RegisterMap.h"

#include <QObject>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

namespace kx::cli {

// What the server asks of the indicators behind it.
class ModbusUnits
{
public:
    virtual ~ModbusUnits() = default;
    virtual bool hasUnit(int unit) const = 0;
    virtual UnitState unitState(int unit) const = 0;
    // A key coil (0 zero, 1 units, 2 net/gross, 3 auto tare, 4 print) or a tare, fed to the
    // unit's face; the exception to answer when it was not taken.
    virtual modbus::Exception pressCoil(int unit, int coil) = 0;
    virtual modbus::Exception writeTare(int unit, std::int32_t scaled) = 0;
};

inline constexpr int KeyCoils = 5;

// Modbus TCP on one address for every unit, on Qt's event loop: no thread per client, and a
// client that sends garbage loses its own connection and nothing else.
class ModbusServer : public QObject
{
    Q_OBJECT
public:
    // A client that says nothing for this long is closed, so dead peers do not hold a slot.
    static constexpr int IdleLimitMs = 60000;
    // A frame begun must be whole this soon: a client that dribbles a byte at a time would
    // otherwise hold its slot for as long as it likes, each byte restarting the idle limit.
    static constexpr int FrameLimitMs = 5000;

    ModbusServer(ModbusUnits& units, std::function<void(int, const QString&)> log,
                 QObject* parent = nullptr);
    ~ModbusServer() override;

    // Listens as options say; false with why (address in use, no permission).
    bool listen(const ModbusOptions& options, QString* why);
    // New options that keep the address: clients, word order and writes change at once.
    void setOptions(const ModbusOptions& options);
    const ModbusOptions& options() const { return options_; }
    quint16 port() const { return server_.serverPort(); }
    void close();
    int clientCount() const { return clients_; }
    quint64 requestsAnswered() const { return answered_; }

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);
    QByteArray answer(std::uint8_t unit, const QByteArray& pdu);

    ModbusUnits& units_;
    std::function<void(int, const QString&)> log_;
    QTcpServer server_;
    ModbusOptions options_;
    int clients_ = 0;
    quint64 answered_ = 0;
};

} // namespace kx::cli
