#pragma once

#include "link/ReplyFrame.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx::cli {

// --broker: mqtt://host:port, mqtts://host:port, host:port or host. The port defaults to
// 1883 (8883 for mqtts, which also asks for TLS).
struct BrokerAddress
{
    QString host;
    int port = 1883;
    bool tls = false;
};
std::optional<BrokerAddress> parseBrokerAddress(const QString& text, QString* why);

// A name that may stand as one level of a topic: no wildcard, no separator, no NUL, not
// empty, at most 64 characters.
bool isTopicLevel(const QString& name);
// Why name cannot be such a level, in words for a message; empty when it can.
QString topicLevelProblem(const QString& name);
// Why prefix cannot begin our topics: one of its levels cannot be one, or it starts with $
// (brokers keep those topics for themselves and refuse our publishes); empty when it can.
QString topicPrefixProblem(const QString& prefix);

// Which frames go out. With a rate limit, at most one frame per period; a frame that comes
// too soon is held and goes out when the period ends, so the last weight always arrives.
// With "only changes", a frame equal to the last one published is held back, except one
// heartbeat every heartbeat period.
class PublishGate
{
public:
    PublishGate(double rateLimitHz, bool onlyChanges, qint64 heartbeatMs);

    // A frame was shown at nowMs: true when it is to be published now.
    bool offer(const DecodedFrame& frame, qint64 nowMs);
    // Called on a timer: a frame held back that is now due (once).
    std::optional<DecodedFrame> due(qint64 nowMs);
    // When due() may next have something; -1 when nothing is held.
    qint64 nextDue() const;
    // What was published last was delivered; used by offer() and due().
    void published(const DecodedFrame& frame, qint64 nowMs);

private:
    bool tooSoon(qint64 nowMs) const;
    bool same(const DecodedFrame& frame) const;

    qint64 periodMs_;
    bool onlyChanges_;
    qint64 heartbeatMs_;
    std::optional<DecodedFrame> last_;
    qint64 lastAt_ = 0;
    std::optional<DecodedFrame> held_;
};

// A command from the broker's cmd topic: exactly one of the face's keys, or a tare value.
struct RemoteCommand
{
    enum Kind
    {
        Zero,
        Units,
        NetGross,
        AutoTare,
        Print,
        Tare
    } kind;
    QString tare; // for Tare: digits with at most one point
};
// The payload is the whole command: "zero", "units", "net/gross", "auto tare", "print" or
// "tare 12.5" (any case, no other text). Anything else is refused with why.
std::optional<RemoteCommand> parseRemoteCommand(const QByteArray& payload, QString* why);

} // namespace kx::cli
