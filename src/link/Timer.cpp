#include "link/Timer.h"

#include <algorithm>

namespace kx {

Timer::Timer(Clock& clock, int intervalMs, Handler onTimer)
    : clock_(clock), interval_(std::max(0, intervalMs)), onTimer_(std::move(onTimer))
{
}

Timer::~Timer()
{
    disarm();
}

void Timer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    disarm();
    if (enabled_ && interval_ > 0)
        arm(interval_);
}

void Timer::setInterval(int ms)
{
    ms = std::max(0, ms);
    if (ms == interval_)
        return;
    interval_ = ms;
    disarm();
    if (enabled_ && interval_ > 0)
        arm(interval_);
}

void Timer::arm(qint64 delayMs)
{
    due_ = clock_.nowMs() + delayMs;
    pending_ = clock_.startTimer(delayMs, [this] { fire(); });
}

void Timer::disarm()
{
    if (pending_ != 0)
        clock_.cancelTimer(pending_);
    pending_ = 0;
}

void Timer::fire()
{
    pending_ = 0;
    // The next tick keeps the phase of this one; a handler that stops or restarts the timer
    // replaces it.
    const qint64 next = due_ + interval_;
    arm(std::max<qint64>(0, next - clock_.nowMs()));
    if (onTimer_)
        onTimer_();
}

} // namespace kx
