#include "cli/publish/PublishRules.h"

#include <QRegularExpression>

namespace kx::cli {

std::optional<BrokerAddress> parseBrokerAddress(const QString& text, QString* why)
{
    const auto fail = [&](const QString& reason) -> std::optional<BrokerAddress> {
        if (why)
            *why = QStringLiteral("--broker \"%1\": %2").arg(text, reason);
        return std::nullopt;
    };
    QString rest = text.trimmed();
    BrokerAddress a;
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const QString name = rest.left(scheme).toLower();
        if (name == QLatin1String("mqtts") || name == QLatin1String("ssl")) {
            a.tls = true;
            a.port = 8883;
        } else if (name != QLatin1String("mqtt") && name != QLatin1String("tcp")) {
            return fail(QStringLiteral("the scheme is mqtt:// or mqtts://"));
        }
        rest = rest.mid(scheme + 3);
    }
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (rest.isEmpty())
        return fail(QStringLiteral("no host"));
    // [v6]:port, host:port or host
    QString host = rest;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("an unclosed ["));
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return fail(QStringLiteral("text after the address"));
            port = after.mid(1);
        }
    } else if (rest.count(QLatin1Char(':')) == 1) {
        host = rest.section(QLatin1Char(':'), 0, 0);
        port = rest.section(QLatin1Char(':'), 1);
    }
    static const QRegularExpression hostChars(QStringLiteral("^[A-Za-z0-9._:-]+$"));
    if (host.isEmpty() || !hostChars.match(host).hasMatch())
        return fail(QStringLiteral("not a host name or address"));
    a.host = host;
    if (!port.isNull()) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
        const int n = digits.match(port).hasMatch() ? port.toInt() : 0;
        if (n < 1 || n > 65535)
            return fail(QStringLiteral("the port is a number from 1 to 65535"));
        a.port = n;
    }
    return a;
}

bool isTopicLevel(const QString& name)
{
    return topicLevelProblem(name).isEmpty();
}

QString topicLevelProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("an empty level");
    if (name.size() > 64)
        return QStringLiteral("%1 characters, more than 64").arg(name.size());
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#'))
            return QStringLiteral("holds %1, which MQTT keeps for its topics").arg(c);
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("holds a control character");
    }
    return {};
}

QString topicPrefixProblem(const QString& prefix)
{
    if (prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("starts with $, which brokers keep for their own topics");
    for (const QString& level : prefix.split(QLatin1Char('/')))
        if (const QString problem = topicLevelProblem(level); !problem.isEmpty())
            return problem;
    return {};
}

PublishGate::PublishGate(double rateLimitHz, bool onlyChanges, qint64 heartbeatMs)
    : periodMs_(rateLimitHz > 0 ? qint64(1000.0 / rateLimitHz) : 0),
      onlyChanges_(onlyChanges), heartbeatMs_(heartbeatMs)
{
}

bool PublishGate::same(const DecodedFrame& frame) const
{
    return last_ && last_->weight == frame.weight && last_->units == frame.units
           && last_->net == frame.net && last_->keepWeight == frame.keepWeight;
}

bool PublishGate::tooSoon(qint64 nowMs) const
{
    return last_ && periodMs_ > 0 && nowMs - lastAt_ < periodMs_;
}

bool PublishGate::offer(const DecodedFrame& frame, qint64 nowMs)
{
    if (onlyChanges_ && same(frame)) {
        // Unchanged: nothing held back is worth more than the heartbeat.
        held_.reset();
        return heartbeatMs_ > 0 && nowMs - lastAt_ >= heartbeatMs_ && !tooSoon(nowMs);
    }
    if (tooSoon(nowMs)) {
        held_ = frame;
        return false;
    }
    held_.reset();
    return true;
}

std::optional<DecodedFrame> PublishGate::due(qint64 nowMs)
{
    if (!held_ || tooSoon(nowMs))
        return std::nullopt;
    std::optional<DecodedFrame> frame;
    frame.swap(held_);
    return frame;
}

qint64 PublishGate::nextDue() const
{
    return held_ ? lastAt_ + periodMs_ : -1;
}

void PublishGate::published(const DecodedFrame& frame, qint64 nowMs)
{
    last_ = frame;
    lastAt_ = nowMs;
}

std::optional<RemoteCommand> parseRemoteCommand(const QByteArray& payload, QString* why)
{
    const auto fail = [why](const QString& reason) -> std::optional<RemoteCommand> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (payload.size() > 32)
        return fail(QStringLiteral("too long for a command"));
    // A line end or blanks round the command are how shell tools send it; inside, only text.
    const QByteArray trimmed = payload.trimmed();
    for (const char c : trimmed)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e)
            return fail(QStringLiteral("a byte that is not printable text"));
    const QString text = QString::fromLatin1(trimmed).toLower();
    static const struct
    {
        const char* word;
        RemoteCommand::Kind kind;
    } keys[] = {{"zero", RemoteCommand::Zero},          {"units", RemoteCommand::Units},
                {"net/gross", RemoteCommand::NetGross}, {"auto tare", RemoteCommand::AutoTare},
                {"print", RemoteCommand::Print}};
    for (const auto& k : keys)
        if (text == QLatin1String(k.word))
            return RemoteCommand{k.kind, {}};
    static const QRegularExpression tare(QStringLiteral("^tare +([0-9]{1,7}(?:\\.[0-9]{0,6})?|\\.[0-9]{1,6})$"));
    const QRegularExpressionMatch m = tare.match(text);
    if (m.hasMatch())
        return RemoteCommand{RemoteCommand::Tare, m.captured(1)};
    return fail(QStringLiteral("not a command (zero, units, net/gross, auto tare, print, "
                               "tare VALUE)"));
}

} // namespace kx::cli
