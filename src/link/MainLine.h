#pragma once

#include <QByteArray>
#include <QString>

namespace kx {

// The main port as an engine uses it while it owns the line: the link implements it
// over its serial channel and the notification handles it created.
class MainLine
{
public:
    virtual ~MainLine() = default;

    virtual bool isOpen() const = 0;
    // Queues bytes for sending; false (already logged) when the port could not take them.
    [[nodiscard]] virtual bool send(const QByteArray& bytes) = 0;
    // Takes up to count received bytes, oldest first.
    virtual QByteArray take(int count) = 0;
    // Discards what is waiting to be read; false (already logged) when that failed.
    [[nodiscard]] virtual bool discardInput() = 0;
    // Why the last send or discard failed.
    virtual QString failure() const { return {}; }
    // Arms (restarting) or disarms the reply timer; nothing when the port has none.
    virtual void armReplyTimer(bool arm, int ticks) = 0;
};

} // namespace kx
