#include "cli/CommandRun.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace kx::cli {

void CommandRun::finish(int status)
{
    if (finished_)
        return;
    finished_ = true;
    status_ = status;
    if (ended_)
        return ended_(status);
    QCoreApplication::exit(status);
}

void CommandRun::later(std::function<void()> step)
{
    // Dropped with the run: a step queued for a run that is gone has nothing left to do.
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

StopWatch::StopWatch(std::function<void()> stopped, std::function<void()> reloaded)
    : stopped_(std::move(stopped)), reloaded_(std::move(reloaded))
{
    const auto look = [this] {
        if (!told_ && reloaded_ && takeReloadRequest())
            QMetaObject::invokeMethod(&look_, reloaded_, Qt::QueuedConnection);
        if (told_ || !stopRequested())
            return;
        told_ = true;
        look_.stop();
        // Told from a turn of its own, so the owner may let this watch go in its answer.
        QMetaObject::invokeMethod(&look_, stopped_, Qt::QueuedConnection);
    };
    QObject::connect(&look_, &QTimer::timeout, look);
    // The signal wakes the loop from its wait (no SA_RESTART): looked at then, and before
    // each wait, it is heard at once; the timer is for a loop that never waited.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &look_, look);
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &look_, look);
    }
    look_.start(LookEveryMs);
    // A signal that came between two waits stops the next one at once.
    look();
}

} // namespace kx::cli
