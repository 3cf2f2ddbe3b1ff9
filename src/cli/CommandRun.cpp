#include "cli/CommandRun.h"

#include <QCoreApplication>

namespace kx::cli {

void CommandRun::finish(int status)
{
    if (finished_)
        return;
    finished_ = true;
    status_ = status;
    QCoreApplication::exit(status);
}

void CommandRun::later(std::function<void()> step)
{
    // Dropped with the run: a step queued for a run that is gone has nothing left to do.
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

StopWatch::StopWatch(std::function<void()> stopped) : stopped_(std::move(stopped))
{
    const auto look = [this] {
        if (!stopRequested())
            return;
        look_.stop();
        // Told from a turn of its own, so the owner may let this watch go in its answer.
        QMetaObject::invokeMethod(&look_, stopped_, Qt::QueuedConnection);
    };
    QObject::connect(&look_, &QTimer::timeout, look);
    look_.start(LookEveryMs);
    // A signal that came between two waits stops the next one at once.
    look();
}

} // namespace kx::cli
