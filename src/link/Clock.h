#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <functional>

namespace kx {

// Time and event delivery for every state machine of the link. The program runs on a
// QtClock (real time, the Qt event loop); tests and benchmarks step a SteppedClock by hand,
// so no test depends on how fast the machine is.
class Clock
{
public:
    using TimerId = quint64;
    using Callback = std::function<void()>;

    virtual ~Clock() = default;

    // Milliseconds from a fixed origin; never goes backwards.
    virtual qint64 nowMs() const = 0;

    // Calls cb once, delayMs from now, from the event loop. Returns a non-zero id.
    virtual TimerId startTimer(qint64 delayMs, Callback cb) = 0;

    // A cancelled timer never calls back, even if its time has already come.
    virtual void cancelTimer(TimerId id) = 0;

    // Calls cb from the event loop as soon as it gets there, in the order of the posts.
    virtual void post(Callback cb) = 0;

    // The PC's local date and time, for what the indicator is told the time is.
    virtual QDateTime localDateTime() const { return QDateTime::currentDateTime(); }
};

} // namespace kx
