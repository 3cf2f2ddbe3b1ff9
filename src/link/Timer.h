#pragma once

#include "link/Clock.h"

#include <functional>

namespace kx {

// A repeating timer with the semantics the link's state machines rely on:
//  - enabling a timer that is already enabled keeps its phase (it is not restarted), so a
//    handler that is re-enabled by incoming frames still ticks on time;
//  - an interval of 0 pauses it: it stays enabled but does not tick, and setting a non-zero
//    interval again makes it tick again (from a fresh phase);
//  - setting the interval it already has changes nothing.
class Timer
{
public:
    using Handler = std::function<void()>;

    Timer(Clock& clock, int intervalMs, Handler onTimer = {});
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void setOnTimer(Handler onTimer) { onTimer_ = std::move(onTimer); }

    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    void start() { setEnabled(true); }
    void stop() { setEnabled(false); }

    int interval() const { return interval_; }
    void setInterval(int ms);

    // True while a tick is scheduled (enabled with a non-zero interval).
    bool ticking() const { return pending_ != 0; }

private:
    void arm(qint64 delayMs);
    void disarm();
    void fire();

    Clock& clock_;
    int interval_;
    bool enabled_ = false;
    Clock::TimerId pending_ = 0;
    qint64 due_ = 0;
    Handler onTimer_;
};

} // namespace kx
