#pragma once

#include "link/Clock.h"

#include <deque>
#include <map>
#include <utility>

namespace kx {

// A clock that moves only when told to: advance() runs, in time order, every timer that
// falls due and every posted call, exactly as the event loop would.
class SteppedClock final : public Clock
{
public:
    explicit SteppedClock(qint64 startMs = 0) : now_(startMs) {}

    qint64 nowMs() const override { return now_; }
    TimerId startTimer(qint64 delayMs, Callback cb) override;
    void cancelTimer(TimerId id) override;
    void post(Callback cb) override { posts_.push_back(std::move(cb)); }

    // The local date and time at the clock's origin; it moves on with the clock.
    void setDateTime(const QDateTime& atOrigin) { origin_ = atOrigin; }
    QDateTime localDateTime() const override { return origin_.addMSecs(now_); }

    // Moves time forward by ms, handling what falls due on the way.
    void advance(qint64 ms);
    // Handles posted calls without moving time.
    void runPosted();

private:
    // Ordered by due time, then by the order they were started.
    using Key = std::pair<qint64, TimerId>;
    qint64 now_;
    QDateTime origin_{QDate(2026, 1, 1), QTime(0, 0)};
    TimerId nextId_ = 1;
    std::map<Key, Callback> timers_;
    std::map<TimerId, qint64> dueOf_;
    std::deque<Callback> posts_;
};

} // namespace kx
