#include "cli/gateway/GatewayConfig.h"

#include "cli/publish/PublishRules.h"
#include "link/DevicePath.h"
#include "link/PortSettings.h"
#include "link/SerialPortCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace kx::cli {
namespace {

// One key of a section, where it stood.
struct Entry
{
    QString value;
    int line = 0;
};

struct Section
{
    QString header; // as written, for messages
    QString kind;   // "modbus", "mqtt" or "indicator", lower case
    QString name;   // NAME of [Indicator NAME]
    int line = 0;
    QHash<QString, Entry> keys; // lower-case key
    QStringList order;          // keys as written, for the unknown-key message
};

// Everything a check needs to say where it failed.
class Checker
{
public:
    Checker(const QString& fileName, QString* why) : file_(QFileInfo(fileName).fileName()), why_(why) {}

    bool fail(int line, const QString& text)
    {
        if (why_)
            *why_ = QStringLiteral("%1:%2: %3").arg(file_).arg(line).arg(text);
        return false;
    }

private:
    QString file_;
    QString* why_;
};

const QStringList& knownKeys(const QString& kind)
{
    static const QStringList modbus{"listen", "wordorder", "stalereply", "allowwrites",
                                    "allowedclients", "maxclients"};
    static const QStringList mqtt{"broker", "topic", "qos", "ratelimit", "onlychanges",
                                  "heartbeat", "user", "passwordfile", "cafile", "cert", "key",
                                  "allowcommands"};
    static const QStringList indicator{"device", "port", "baud", "parity", "mode", "outputs",
                                       "log", "unit"};
    return kind == QLatin1String("modbus") ? modbus : kind == QLatin1String("mqtt") ? mqtt : indicator;
}

std::optional<qint64> whole(const QString& text, qint64 min, qint64 max)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const qint64 v = text.toLongLong();
    if (v < min || v > max)
        return std::nullopt;
    return v;
}

// Exactly 0 or 1, as the file's documentation says: a word another reader of the file takes
// differently ("no" is a non-empty text, "off" a host name) must not switch writes on.
std::optional<bool> flag(const QString& text)
{
    if (text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// Splits the file into sections; false on a line that is neither a header, a key, a comment
// nor blank, on a key outside any section, or on a repeat.
bool splitSections(const QByteArray& text, Checker& check, QList<Section>& sections)
{
    static const QRegularExpression header(QStringLiteral("^\\[\\s*([^\\]]*?)\\s*\\]$"));
    static const QRegularExpression keyLine(QStringLiteral("^([A-Za-z][A-Za-z0-9]*)\\s*=\\s*(.*)$"));
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int n = int(i) + 1;
        QByteArray raw = lines[i];
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.contains('\0') || raw.contains('\r'))
            return check.fail(n, QStringLiteral("a control character in the line"));
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (const auto m = header.match(line); m.hasMatch()) {
            Section s;
            s.header = m.captured(1);
            s.line = n;
            const QString lower = s.header.toLower();
            if (lower == QLatin1String("modbus") || lower == QLatin1String("mqtt")) {
                s.kind = lower;
            } else if (lower.startsWith(QLatin1String("indicator "))) {
                s.kind = QStringLiteral("indicator");
                s.name = s.header.mid(10).trimmed();
                if (const QString problem = topicLevelProblem(s.name); !problem.isEmpty())
                    return check.fail(n, QStringLiteral("[%1]: the name %2").arg(s.header, problem));
            } else {
                return check.fail(n, QStringLiteral("[%1]: not a section of the gateway "
                                                    "([Modbus], [MQTT] or [Indicator NAME])")
                                         .arg(s.header));
            }
            for (const Section& other : sections)
                if (other.kind == s.kind && other.name == s.name)
                    return check.fail(n, QStringLiteral("[%1] again: it was first at line %2")
                                             .arg(s.header)
                                             .arg(other.line));
            sections << s;
            continue;
        }
        const auto m = keyLine.match(line);
        if (!m.hasMatch())
            return check.fail(n, QStringLiteral("\"%1\": neither [Section] nor Key=Value")
                                     .arg(line.left(40)));
        if (sections.isEmpty())
            return check.fail(n, QStringLiteral("%1 stands before any section").arg(m.captured(1)));
        Section& s = sections.last();
        const QString key = m.captured(1).toLower();
        if (!knownKeys(s.kind).contains(key))
            return check.fail(n, QStringLiteral("%1: not a key of [%2]").arg(m.captured(1), s.header));
        if (s.keys.contains(key))
            return check.fail(n, QStringLiteral("%1 again in [%2]: it was first at line %3")
                                     .arg(m.captured(1), s.header)
                                     .arg(s.keys[key].line));
        s.keys.insert(key, {m.captured(2).trimmed(), n});
    }
    return true;
}

QString absolute(const QString& path, const QString& folder)
{
    return path.isEmpty() || QDir::isAbsolutePath(path) ? path : QDir(folder).filePath(path);
}

bool readModbus(const Section& s, Checker& check, ModbusOptions& m)
{
    if (const auto e = s.keys.value(QStringLiteral("listen")); !e.value.isEmpty()) {
        // ADDRESS:PORT, an IPv6 address in brackets.
        static const QRegularExpression form(QStringLiteral("^(\\[([^\\]]+)\\]|([^:\\[\\]]+)):([0-9]{1,5})$"));
        const auto match = form.match(e.value);
        const QString host = match.hasMatch() ? match.captured(2) + match.captured(3) : QString();
        const auto port = match.hasMatch() ? whole(match.captured(4), 1, 65535) : std::nullopt;
        QHostAddress address;
        if (host == QLatin1String("*"))
            address = QHostAddress(QHostAddress::Any);
        else if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            address = QHostAddress(QHostAddress::LocalHost);
        else
            address.setAddress(host);
        if (!port || address.isNull())
            return check.fail(e.line, QStringLiteral("Listen=%1: ADDRESS:PORT, such as "
                                                     "127.0.0.1:502, 0.0.0.0:502 or [::1]:502")
                                          .arg(e.value));
        m.address = address;
        m.port = quint16(*port);
    }
    if (const auto e = s.keys.value(QStringLiteral("wordorder")); !e.value.isEmpty()) {
        static const QStringList names{"ABCD", "CDAB", "BADC", "DCBA"};
        const qsizetype i = names.indexOf(e.value.toUpper());
        if (i < 0)
            return check.fail(e.line, QStringLiteral("WordOrder=%1: ABCD, CDAB, BADC or DCBA").arg(e.value));
        m.wordOrder = WordOrder(i);
    }
    if (const auto e = s.keys.value(QStringLiteral("stalereply")); !e.value.isEmpty()) {
        const QString v = e.value.toLower();
        if (v != QLatin1String("nan") && v != QLatin1String("exception"))
            return check.fail(e.line, QStringLiteral("StaleReply=%1: nan or exception").arg(e.value));
        m.staleException = v == QLatin1String("exception");
    }
    if (const auto e = s.keys.value(QStringLiteral("allowwrites")); !e.value.isEmpty()) {
        const auto v = flag(e.value);
        if (!v)
            return check.fail(e.line, QStringLiteral("AllowWrites=%1: 0 or 1").arg(e.value));
        m.allowWrites = *v;
    }
    if (const auto e = s.keys.value(QStringLiteral("maxclients")); !e.value.isEmpty()) {
        const auto v = whole(e.value, 1, 1024);
        if (!v)
            return check.fail(e.line, QStringLiteral("MaxClients=%1: 1 to 1024").arg(e.value));
        m.maxClients = int(*v);
    }
    if (const auto e = s.keys.value(QStringLiteral("allowedclients")); !e.value.isEmpty()) {
        for (QString item : e.value.split(QRegularExpression(QStringLiteral("[,\\s]+")),
                                          Qt::SkipEmptyParts)) {
            ClientNetwork net;
            if (item.contains(QLatin1Char('/'))) {
                const auto subnet = QHostAddress::parseSubnet(item);
                net.address = subnet.first;
                net.prefix = subnet.second;
            } else {
                net.address.setAddress(item);
            }
            if (net.address.isNull())
                return check.fail(e.line, QStringLiteral("AllowedClients: \"%1\" is neither an "
                                                         "address nor a network such as "
                                                         "10.1.0.0/16")
                                              .arg(item));
            m.allowedClients << net;
        }
    }
    return true;
}

std::optional<QString> readPassword(const QString& file, QString* problem)
{
    QFile f(file);
    if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("cannot be read");
        return std::nullopt;
    }
    QByteArray text = f.read(4096);
    // The first line is the password, as most tools keep it.
    if (const qsizetype end = text.indexOf('\n'); end >= 0)
        text.truncate(end);
    if (text.endsWith('\r'))
        text.chop(1);
    return QString::fromUtf8(text);
}

bool readMqtt(const Section& s, Checker& check, const QString& folder, MqttOptions& o)
{
    const auto value = [&s](const char* key) { return s.keys.value(QLatin1String(key)); };
    QString why;
    const Entry broker = value("broker");
    const auto address = parseBrokerAddress(broker.value.isEmpty() ? QStringLiteral("mqtt://localhost:1883")
                                                                    : broker.value,
                                            &why);
    if (!address)
        return check.fail(broker.line ? broker.line : s.line, QStringLiteral("Broker=%1: %2").arg(broker.value, why));
    o.broker.host = address->host;
    o.broker.port = address->port;
    if (const Entry e = value("topic"); e.line) {
        if (const QString problem = topicPrefixProblem(e.value); !problem.isEmpty())
            return check.fail(e.line, QStringLiteral("Topic=%1: %2").arg(e.value, problem));
        o.feed.prefix = e.value;
    }
    if (const Entry e = value("qos"); e.line) {
        const auto v = whole(e.value, 0, 1);
        if (!v)
            return check.fail(e.line, QStringLiteral("QoS=%1: 0 or 1").arg(e.value));
        o.feed.qos = int(*v);
    }
    if (const Entry e = value("ratelimit"); e.line && !e.value.isEmpty()) {
        static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{1,3})?$"));
        const double hz = decimal.match(e.value).hasMatch() ? e.value.toDouble() : -1;
        if (hz < 0.01 || hz > 100)
            return check.fail(e.line, QStringLiteral("RateLimit=%1: frames a second, from 0.01 to 100").arg(e.value));
        o.feed.rateLimitHz = hz;
    }
    if (const Entry e = value("onlychanges"); e.line) {
        const auto v = flag(e.value);
        if (!v)
            return check.fail(e.line, QStringLiteral("OnlyChanges=%1: 0 or 1").arg(e.value));
        o.feed.onlyChanges = *v;
    }
    if (const Entry e = value("heartbeat"); e.line) {
        const auto v = whole(e.value, 0, 86400);
        if (!v)
            return check.fail(e.line, QStringLiteral("Heartbeat=%1: seconds from 0 (none) to 86400").arg(e.value));
        o.feed.heartbeatMs = *v * 1000;
    }
    if (const Entry e = value("allowcommands"); e.line) {
        const auto v = flag(e.value);
        if (!v)
            return check.fail(e.line, QStringLiteral("AllowCommands=%1: 0 or 1").arg(e.value));
        o.feed.allowCommands = *v;
    }
    o.broker.user = value("user").value;
    if (const Entry e = value("passwordfile"); !e.value.isEmpty()) {
        QString problem;
        const auto pw = readPassword(absolute(e.value, folder), &problem);
        if (!pw)
            return check.fail(e.line, QStringLiteral("PasswordFile=%1: %2").arg(e.value, problem));
        if (o.broker.user.isEmpty())
            return check.fail(e.line, QStringLiteral("a password needs User="));
        o.broker.password = *pw;
    }
    for (const auto& [key, target] : {std::pair{"cafile", &o.broker.caFile},
                                      std::pair{"cert", &o.broker.certFile},
                                      std::pair{"key", &o.broker.keyFile}}) {
        const Entry e = value(key);
        *target = absolute(e.value, folder);
        if (!target->isEmpty() && !QFileInfo(*target).isReadable())
            return check.fail(e.line, QStringLiteral("%1: cannot be read").arg(e.value));
    }
    if (address->tls && o.broker.caFile.isEmpty())
        return check.fail(broker.line, QStringLiteral("mqtts:// needs CAFile=, the CA that "
                                                      "signed the broker's certificate"));
    if (o.broker.caFile.isEmpty() && !(o.broker.certFile.isEmpty() && o.broker.keyFile.isEmpty()))
        return check.fail(s.line, QStringLiteral("Cert= and Key= need CAFile="));
    if (o.broker.certFile.isEmpty() != o.broker.keyFile.isEmpty())
        return check.fail(s.line, QStringLiteral("Cert= and Key= go together"));
    return true;
}

bool readIndicator(const Section& s, Checker& check, bool withModbus, const QString& folder,
                   GatewayIndicator& ind)
{
    const auto value = [&s](const char* key) { return s.keys.value(QLatin1String(key)); };
    ind.name = s.name;
    ind.lineNumber = s.line;
    const Entry device = value("device");
    const Entry port = value("port");
    if (device.value.isEmpty() == port.value.isEmpty())
        return check.fail(s.line, QStringLiteral("[%1]: give Device=PATH or Port=N, one of them")
                                      .arg(s.header));
    if (!port.value.isEmpty()) {
        const auto v = whole(port.value, 1, 99999);
        if (!v)
            return check.fail(port.line, QStringLiteral("Port=%1: a port number from 1 to 99999 "
                                                        "of the program's Port.Ini")
                                             .arg(port.value));
        ind.line.port = int(*v);
    } else {
        ind.line.device = resolveDevicePath(device.value, folder);
        ind.deviceLine = device.line;
    }
    if (const Entry e = value("baud"); e.line) {
        const auto v = whole(e.value, 1, 10000000);
        if (!v || PortSettings::baudIndexOf(int(*v)) < 0)
            return check.fail(e.line, QStringLiteral("Baud=%1: %2").arg(e.value, PortSettings::baudListText()));
        ind.line.baud = int(*v);
    }
    if (const Entry e = value("parity"); e.line) {
        const QString p = e.value.toLower();
        ind.line.parity = p == QLatin1String("even") ? 0 : p == QLatin1String("none") ? 1
                          : p == QLatin1String("odd") ? 2 : -1;
        if (ind.line.parity < 0)
            return check.fail(e.line, QStringLiteral("Parity=%1: even, none or odd").arg(e.value));
    }
    if (const Entry e = value("mode"); e.line) {
        const QString m = e.value.toLower();
        ind.line.mode = m == QLatin1String("continuous") ? 0 : m == QLatin1String("demand") ? 1 : -2;
        if (ind.line.mode < -1)
            return check.fail(e.line, QStringLiteral("Mode=%1: continuous or demand").arg(e.value));
    }
    if (const Entry e = value("outputs"); e.line) {
        const auto v = whole(e.value, 1, 2);
        if (!v)
            return check.fail(e.line, QStringLiteral("Outputs=%1: 1 or 2").arg(e.value));
        ind.line.outputs = int(*v);
    }
    ind.line.log = absolute(value("log").value, folder);
    const Entry unit = value("unit");
    if (unit.line) {
        const auto v = whole(unit.value, 1, 247);
        if (!v)
            return check.fail(unit.line, QStringLiteral("Unit=%1: a Modbus unit ID from 1 to 247").arg(unit.value));
        ind.unit = int(*v);
    } else if (withModbus) {
        return check.fail(s.line, QStringLiteral("[%1]: give it its Modbus unit ID, Unit=1 to 247")
                                      .arg(s.header));
    }
    return true;
}

} // namespace

bool ClientNetwork::contains(const QHostAddress& client) const
{
    QHostAddress c = client;
    // A v4 client on a dual-stack socket arrives as ::ffff:a.b.c.d.
    bool mapped = false;
    if (const quint32 v4 = c.toIPv4Address(&mapped); mapped)
        c = QHostAddress(v4);
    if (prefix < 0)
        return c.isEqual(address, QHostAddress::TolerantConversion);
    return c.isInSubnet(address, prefix);
}

bool ModbusOptions::allowed(const QHostAddress& client) const
{
    if (allowedClients.isEmpty())
        return true;
    for (const ClientNetwork& n : allowedClients)
        if (n.contains(client))
            return true;
    return false;
}

QString wordOrderName(WordOrder order)
{
    static const char* names[] = {"ABCD", "CDAB", "BADC", "DCBA"};
    return QLatin1String(names[int(order)]);
}

std::optional<GatewayConfig> parseGatewayConfig(const QByteArray& text, const QString& fileName,
                                                QString* why)
{
    Checker check(fileName, why);
    const QString folder = QFileInfo(fileName).absolutePath();
    QList<Section> sections;
    if (!splitSections(text, check, sections))
        return std::nullopt;
    GatewayConfig config;
    for (const Section& s : sections) {
        if (s.kind == QLatin1String("modbus")) {
            config.modbus.emplace();
            if (!readModbus(s, check, *config.modbus))
                return std::nullopt;
        } else if (s.kind == QLatin1String("mqtt")) {
            config.mqtt.emplace();
            if (!readMqtt(s, check, folder, *config.mqtt))
                return std::nullopt;
        }
    }
    int lastLine = 0;
    for (const Section& s : sections) {
        lastLine = std::max(lastLine, s.line);
        if (s.kind != QLatin1String("indicator"))
            continue;
        GatewayIndicator ind;
        if (!readIndicator(s, check, config.modbus.has_value(), folder, ind))
            return std::nullopt;
        for (const GatewayIndicator& other : config.indicators) {
            if (ind.unit != 0 && other.unit == ind.unit)
                return check.fail(s.keys.value(QStringLiteral("unit")).line,
                                  QStringLiteral("Unit=%1 is [Indicator %2]'s already")
                                      .arg(ind.unit)
                                      .arg(other.name)),
                       std::nullopt;
            const bool sameLine = ind.line.device.isEmpty()
                                      ? ind.line.port == other.line.port
                                      : ind.line.device == other.line.device;
            if (sameLine)
                return check.fail(s.line, QStringLiteral("[%1]: its line is [Indicator %2]'s already")
                                              .arg(s.header, other.name)),
                       std::nullopt;
        }
        config.indicators << ind;
    }
    if (config.indicators.isEmpty())
        return check.fail(lastLine, QStringLiteral("no [Indicator NAME] section: the gateway "
                                                   "has nothing to serve")),
               std::nullopt;
    if (!config.modbus && !config.mqtt)
        return check.fail(lastLine, QStringLiteral("neither [Modbus] nor [MQTT]: the gateway "
                                                   "has nowhere to serve")),
               std::nullopt;
    return config;
}

namespace {

// One line, one owner: two units polling one device would answer each other's frames, and
// /dev/null or a terminal would be served as a scale. A device missing now is left to the
// unit, which keeps trying to open it.
bool checkDevices(const GatewayConfig& config, Checker& check)
{
    QHash<QString, QString> owners; // the device itself -> the indicator that has it
    for (const GatewayIndicator& ind : config.indicators) {
        if (ind.line.device.isEmpty())
            continue;
        if (const QString no = notASerialPort(ind.line.device); !no.isEmpty())
            return check.fail(ind.deviceLine,
                              QStringLiteral("Device=%1: %2").arg(ind.line.device, no));
        const QString canonical = QFileInfo(ind.line.device).canonicalFilePath();
        const QString device = canonical.isEmpty() ? ind.line.device : canonical;
        if (const auto other = owners.constFind(device); other != owners.cend())
            return check.fail(ind.deviceLine,
                              QStringLiteral("Device=%1: that is %2, the device of [Indicator "
                                             "%3] already")
                                  .arg(ind.line.device, device, *other));
        owners.insert(device, ind.name);
    }
    return true;
}

} // namespace

std::optional<GatewayConfig> readGatewayConfig(const QString& path, QString* why)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("%1: cannot be read").arg(path);
        return std::nullopt;
    }
    // A configuration is a page of text; anything far larger is not one.
    const QByteArray text = f.read(1 << 20);
    if (!f.atEnd()) {
        if (why)
            *why = QStringLiteral("%1: larger than 1 MiB, not a configuration").arg(path);
        return std::nullopt;
    }
    auto config = parseGatewayConfig(text, QFileInfo(path).absoluteFilePath(), why);
    Checker check(path, why);
    if (config && !checkDevices(*config, check))
        return std::nullopt;
    return config;
}

} // namespace kx::cli
