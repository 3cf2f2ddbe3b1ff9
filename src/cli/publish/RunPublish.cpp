// kxlink-cli publish: every shown frame of one or more indicators to an MQTT broker, with a
// retained status per indicator, until Ctrl-C or SIGTERM.
#include "cli/CommandRun.h"
#include "cli/Commands.h"
#include "cli/Signals.h"
#include "cli/Terminal.h"
#include "cli/platform/Stop.h"
#include "cli/publish/IndicatorFeed.h"
#include "settings/SafeSave.h"

#include <mosquitto.h>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace kx::cli {
namespace {

void err(const QString& line)
{
    std::fprintf(stderr, "kxlink-cli publish: %s\n", qPrintable(line));
}

// One indicator as the command line names it.
struct FeedChoice
{
    QString name;
    LineChoice line;
};

// --port N (repeated) and --device PATH[=NAME] (repeated), each with the shared line
// options; empty with why on a bad or repeated name.
std::optional<QList<FeedChoice>> feedChoices(const CliContext& c, QString& why)
{
    QList<FeedChoice> feeds;
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,3}$"));
    for (const QString& port : c.options.values(QStringLiteral("port"))) {
        if (!number.match(port).hasMatch() || port.toInt() < 1) {
            why = QStringLiteral("--port \"%1\": a port number from 1 to 999").arg(port);
            return std::nullopt;
        }
        FeedChoice f{QStringLiteral("port%1").arg(port.toInt()), c.line};
        f.line.device.clear();
        f.line.port = port.toInt();
        feeds << f;
    }
    for (const QString& device : c.options.values(QStringLiteral("device"))) {
        QString path = device;
        QString name;
        const qsizetype eq = device.lastIndexOf(QLatin1Char('='));
        if (eq > 0) {
            path = device.left(eq);
            name = device.mid(eq + 1);
        } else {
            name = QFileInfo(path).fileName();
        }
        const QString problem = path.isEmpty() ? QStringLiteral("give PATH or PATH=NAME")
                                               : topicLevelProblem(name);
        if (!problem.isEmpty()) {
            why = QStringLiteral("--device \"%1\": %2").arg(terminalText(device), problem);
            return std::nullopt;
        }
        FeedChoice f{name, c.line};
        f.line.port = 0;
        f.line.device = path;
        feeds << f;
    }
    if (feeds.isEmpty()) {
        why = QStringLiteral("name the indicators: --port N or --device PATH[=NAME], repeated");
        return std::nullopt;
    }
    for (qsizetype i = 0; i < feeds.size(); ++i)
        for (qsizetype j = i + 1; j < feeds.size(); ++j)
            if (feeds[i].name == feeds[j].name) {
                why = QStringLiteral("two indicators are named \"%1\": give each its own name "
                                     "with --device PATH=NAME")
                          .arg(terminalText(feeds[i].name));
                return std::nullopt;
            }
    if (feeds.size() > 1 && !c.line.log.isEmpty()) {
        why = QStringLiteral("--log keeps one line's bytes: use it with one indicator");
        return std::nullopt;
    }
    return feeds;
}

// The password comes from a file or the environment, never from the command line, where
// every user of the machine could read it.
std::optional<QString> password(const CliContext& c, QString& why)
{
    const QString file = c.options.value(QStringLiteral("password-file"));
    if (file.isEmpty())
        return qEnvironmentVariable("KXLINK_MQTT_PASSWORD");
    QFile f(file);
    if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("--password-file %1: cannot be read").arg(file);
        return std::nullopt;
    }
    QByteArray text = f.read(4096);
    // The first line is the password, as most tools keep it.
    const qsizetype end = text.indexOf('\n');
    if (end >= 0)
        text.truncate(end);
    if (text.endsWith('\r'))
        text.chop(1);
    return QString::fromUtf8(text);
}

std::optional<BrokerOptions> brokerOptions(const CliContext& c, QString& why)
{
    const auto address = parseBrokerAddress(c.options.value(QStringLiteral("broker")), &why);
    if (!address)
        return std::nullopt;
    BrokerOptions b;
    b.host = address->host;
    b.port = address->port;
    b.user = c.options.value(QStringLiteral("user"));
    const auto pw = password(c, why);
    if (!pw)
        return std::nullopt;
    b.password = *pw;
    if (!b.password.isEmpty() && b.user.isEmpty()) {
        why = QStringLiteral("a password needs --user");
        return std::nullopt;
    }
    b.caFile = c.options.value(QStringLiteral("cafile"));
    b.certFile = c.options.value(QStringLiteral("cert"));
    b.keyFile = c.options.value(QStringLiteral("key"));
    if (address->tls && b.caFile.isEmpty()) {
        why = QStringLiteral("mqtts:// needs --cafile, the CA that signed the broker's "
                             "certificate");
        return std::nullopt;
    }
    if (b.caFile.isEmpty() && !(b.certFile.isEmpty() && b.keyFile.isEmpty())) {
        why = QStringLiteral("--cert and --key need --cafile");
        return std::nullopt;
    }
    return b;
}

std::optional<FeedOptions> feedOptions(const CliContext& c, QString& why)
{
    FeedOptions o;
    o.prefix = c.options.value(QStringLiteral("topic"));
    if (const QString problem = topicPrefixProblem(o.prefix); !problem.isEmpty()) {
        why = QStringLiteral("--topic \"%1\": %2").arg(terminalText(o.prefix), problem);
        return std::nullopt;
    }
    const QString qos = c.options.value(QStringLiteral("qos"));
    if (qos != QLatin1String("0") && qos != QLatin1String("1")) {
        why = QStringLiteral("--qos \"%1\": 0 or 1").arg(qos);
        return std::nullopt;
    }
    o.qos = qos.toInt();
    if (c.options.isSet(QStringLiteral("rate-limit"))) {
        static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{1,3})?$"));
        const QString rate = c.options.value(QStringLiteral("rate-limit"));
        o.rateLimitHz = decimal.match(rate).hasMatch() ? rate.toDouble() : -1;
        if (o.rateLimitHz < 0.01 || o.rateLimitHz > 100) {
            why = QStringLiteral("--rate-limit \"%1\": frames a second, from 0.01 to 100").arg(rate);
            return std::nullopt;
        }
    }
    o.onlyChanges = c.options.isSet(QStringLiteral("only-changes"));
    static const QRegularExpression seconds(QStringLiteral("^[0-9]{1,5}$"));
    const QString heartbeat = c.options.value(QStringLiteral("heartbeat"));
    if (!seconds.match(heartbeat).hasMatch() || heartbeat.toInt() > 86400) {
        why = QStringLiteral("--heartbeat \"%1\": seconds from 0 (none) to 86400").arg(heartbeat);
        return std::nullopt;
    }
    o.heartbeatMs = heartbeat.toLongLong() * 1000;
    o.allowCommands = c.options.isSet(QStringLiteral("allow-commands"));
    return o;
}

} // namespace

void addPublishOptions(QCommandLineParser& p)
{
    p.addOption({QStringLiteral("broker"),
                 QStringLiteral("The MQTT broker: mqtt://HOST:PORT, or mqtts://HOST:PORT with "
                                "--cafile (default mqtt://localhost:1883)."),
                 QStringLiteral("URL"), QStringLiteral("mqtt://localhost:1883")});
    p.addOption({QStringLiteral("topic"),
                 QStringLiteral("Topic prefix: frames go to PREFIX/NAME/weight, the status to "
                                "PREFIX/NAME/status (default kxlink)."),
                 QStringLiteral("PREFIX"), QStringLiteral("kxlink")});
    p.addOption({QStringLiteral("qos"), QStringLiteral("QoS of the frames, 0 or 1 (0)."),
                 QStringLiteral("N"), QStringLiteral("0")});
    p.addOption({QStringLiteral("rate-limit"),
                 QStringLiteral("At most HZ frames a second per indicator; the newest frame of "
                                "each period is the one sent."),
                 QStringLiteral("HZ")});
    p.addOption({QStringLiteral("only-changes"),
                 QStringLiteral("Publish a frame only when weight, units, net or settled "
                                "changed, plus a heartbeat (--heartbeat).")});
    p.addOption({QStringLiteral("heartbeat"),
                 QStringLiteral("With --only-changes, an unchanged frame every S seconds (30; "
                                "0 for none)."),
                 QStringLiteral("S"), QStringLiteral("30")});
    p.addOption({QStringLiteral("user"), QStringLiteral("User name at the broker."),
                 QStringLiteral("NAME")});
    p.addOption({QStringLiteral("password-file"),
                 QStringLiteral("Read the broker password from the first line of FILE "
                                "(otherwise from the environment variable "
                                "KXLINK_MQTT_PASSWORD)."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("cafile"),
                 QStringLiteral("Use TLS, trusting the CA certificates in FILE."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("cert"), QStringLiteral("Client certificate for TLS."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("key"), QStringLiteral("Client key for TLS."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("allow-commands"),
                 QStringLiteral("Take the face's keys from PREFIX/NAME/cmd: zero, units, "
                                "net/gross, auto tare, print, or tare VALUE. Off unless given.")});
}

namespace {

// Every indicator's feed until Ctrl-C or SIGTERM, or until the broker refuses one for good.
class PublishRun : public CommandRun
{
public:
    PublishRun(const CliContext& c, const QList<FeedChoice>& feeds, const BrokerOptions& broker,
               const FeedOptions& options)
        : c_(c), feeds_(feeds), broker_(broker), options_(options)
    {
    }
    ~PublishRun() override
    {
        for (auto& feed : running_)
            feed->stop();
        running_.clear();
        mosquitto_lib_cleanup();
    }

    void start() override;

private:
    const CliContext& c_;
    QList<FeedChoice> feeds_;
    BrokerOptions broker_;
    FeedOptions options_;
    std::vector<std::unique_ptr<IndicatorFeed>> running_;
    std::unique_ptr<StopWatch> stopWatch_;
};

void PublishRun::start()
{
    // Ctrl-C and SIGTERM only ask: the feeds say goodbye to the broker before the end.
    stopWatch_ = std::make_unique<StopWatch>([this] { finish(Success); });
    platform::ignoreBrokenPipes();

    for (const FeedChoice& f : feeds_) {
        running_.push_back(std::make_unique<IndicatorFeed>(f.name, c_.programFolder, f.line,
                                                           options_, broker_, c_.quiet));
        connect(running_.back().get(), &IndicatorFeed::brokerRefused, this,
                [this](const QString& reason) {
                    if (!finished())
                        err(reason);
                    finish(PortError);
                });
    }
    QString why;
    for (auto& feed : running_)
        if (!feed->start(&why)) {
            err(why);
            return finish(Usage);
        }
    if (!c_.quiet)
        std::fprintf(stderr, "Publishing %lld indicator(s) to %s:%d under %s/; Ctrl-C stops.\n",
                     static_cast<long long>(running_.size()), qPrintable(broker_.host),
                     broker_.port, qPrintable(options_.prefix));
}

} // namespace

Started runPublish(CliContext& c)
{
    QString why;
    const auto feeds = feedChoices(c, why);
    const auto broker = feeds ? brokerOptions(c, why) : std::nullopt;
    const auto options = broker ? feedOptions(c, why) : std::nullopt;
    if (!options) {
        err(why);
        return Usage;
    }
    return std::make_unique<PublishRun>(c, *feeds, *broker, *options);
}

} // namespace kx::cli
