#include "link/SteppedClock.h"

#include <algorithm>

namespace kx {

Clock::TimerId SteppedClock::startTimer(qint64 delayMs, Callback cb)
{
    const TimerId id = nextId_++;
    const qint64 due = now_ + std::max<qint64>(0, delayMs);
    timers_.emplace(Key{due, id}, std::move(cb));
    dueOf_.emplace(id, due);
    return id;
}

void SteppedClock::cancelTimer(TimerId id)
{
    auto it = dueOf_.find(id);
    if (it == dueOf_.end())
        return;
    timers_.erase(Key{it->second, id});
    dueOf_.erase(it);
}

void SteppedClock::runPosted()
{
    while (!posts_.empty()) {
        Callback cb = std::move(posts_.front());
        posts_.pop_front();
        cb();
    }
}

void SteppedClock::advance(qint64 ms)
{
    const qint64 target = now_ + std::max<qint64>(0, ms);
    runPosted();
    while (!timers_.empty() && timers_.begin()->first.first <= target) {
        auto it = timers_.begin();
        now_ = std::max(now_, it->first.first);
        Callback cb = std::move(it->second);
        dueOf_.erase(it->first.second);
        timers_.erase(it);
        cb();
        runPosted();
    }
    // A nested wait inside a callback may already have carried time past the target.
    now_ = std::max(now_, target);
    runPosted();
}

} // namespace kx
