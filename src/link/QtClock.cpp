#include "link/QtClock.h"

#include <QTimer>
#include <algorithm>
#include <climits>

namespace kx {

QtClock::QtClock(QObject* parent) : QObject(parent)
{
    elapsed_.start();
}

QtClock::~QtClock()
{
    for (auto& [id, timer] : timers_)
        delete timer;
}

qint64 QtClock::nowMs() const
{
    return elapsed_.elapsed();
}

Clock::TimerId QtClock::startTimer(qint64 delayMs, Callback cb)
{
    const TimerId id = nextId_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id, cb = std::move(cb)]() {
        auto it = timers_.find(id);
        if (it == timers_.end())
            return;
        it->second->deleteLater();
        timers_.erase(it);
        cb();
    });
    timers_.emplace(id, timer);
    timer->start(static_cast<int>(std::clamp<qint64>(delayMs, 0, INT_MAX)));
    return id;
}

void QtClock::cancelTimer(TimerId id)
{
    auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void QtClock::post(Callback cb)
{
    QMetaObject::invokeMethod(this, std::move(cb), Qt::QueuedConnection);
}

QtClock& QtClock::instance()
{
    static QtClock* clock = new QtClock;
    return *clock;
}

} // namespace kx
