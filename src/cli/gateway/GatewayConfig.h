#pragma once

#include "cli/CliSession.h"
#include "cli/publish/IndicatorFeed.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <optional>

namespace kx::cli {

// How a 32-bit value lies in two registers: A is its most significant byte.
enum class WordOrder
{
    ABCD, // big-endian, the Modbus habit
    CDAB, // words swapped
    BADC, // bytes swapped in each word
    DCBA  // little-endian
};

// One [Indicator NAME] section.
struct GatewayIndicator
{
    QString name;
    LineChoice line;
    int unit = 0; // the Modbus unit ID, 1 to 247; 0 without a [Modbus] section
    int lineNumber = 0;
    int deviceLine = 0; // of its Device= key; 0 with Port=
};

// A network (or one address) a client may come from.
struct ClientNetwork
{
    QHostAddress address;
    int prefix = -1;
    bool contains(const QHostAddress& client) const;
};

struct ModbusOptions
{
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 502;
    WordOrder wordOrder = WordOrder::ABCD;
    // A unit whose indicator is silent answers exception 0x0B instead of reading NaN.
    bool staleException = false;
    bool allowWrites = false;
    // Empty: anyone who can reach the address.
    QList<ClientNetwork> allowedClients;
    int maxClients = 16;
    bool allowed(const QHostAddress& client) const;
};

struct MqttOptions
{
    BrokerOptions broker;
    FeedOptions feed;
};

struct GatewayConfig
{
    QList<GatewayIndicator> indicators;
    std::optional<ModbusOptions> modbus;
    std::optional<MqttOptions> mqtt;
};

// Reads the gateway's configuration. On any fault, nothing, and why names the file, the line
// and the fault ("gateway.ini:12: WordOrder=XYZW: ABCD, CDAB, BADC or DCBA"). Relative paths
// in it (a password file, TLS files) are taken from the file's own folder. Beyond what the
// text says, the devices are looked at as the system has them: each must be a serial port,
// and no two indicators may name one device (a link and its target, two links to it).
std::optional<GatewayConfig> readGatewayConfig(const QString& path, QString* why);
// The same from text already read; fileName only names the file in messages and anchors
// relative paths.
std::optional<GatewayConfig> parseGatewayConfig(const QByteArray& text, const QString& fileName,
                                                QString* why);

QString wordOrderName(WordOrder order);

} // namespace kx::cli
