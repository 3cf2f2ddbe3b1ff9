#pragma once

#include "cli/ExitStatus.h"
#include "cli/Signals.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace kx::cli {

// A command under way on the program's one event loop. main starts it once the loop runs; it
// reacts to what its engines tell and to its own timers, and its one end stops the loop with
// the exit status. Nothing in it waits: each step returns to the loop.
class CommandRun : public QObject
{
public:
    // The first step, taken on the loop.
    virtual void start() = 0;
    // Ends the command: the loop stops with status. Only the first end counts; whatever the
    // loop still delivers afterwards finds the run ended.
    void finish(int status);
    bool finished() const { return finished_; }
    // A run that is one part of a larger command tells its end to that command instead of
    // stopping the loop.
    void reportTo(std::function<void(int status)> ended) { ended_ = std::move(ended); }
    int status() const { return status_; }

protected:
    // Takes step on the loop's next turn: an engine that tells of its end is left before the
    // command acts on it (gives the line back, starts the next transfer, ends).
    void later(std::function<void()> step);

private:
    bool finished_ = false;
    int status_ = Success;
    std::function<void(int)> ended_;
};

// What a command gives main: its exit status when it ended at once (a usage error, a bad
// file, a listing), or the run that ends the loop.
struct Started
{
    Started(int status) : status(status) {}
    template <class Run>
    Started(std::unique_ptr<Run> run) : run(std::move(run))
    {
    }
    int status = Success;
    std::unique_ptr<CommandRun> run;
};

// While one lives, a signal asks the command to stop instead of ending it at once
// (StopOnTurn); the handler may only set a flag, so the flag is looked at on the loop (as it
// wakes, before it waits, and at least this often) and stopped is told once, on a turn of its
// own.
class StopWatch
{
public:
    static constexpr int LookEveryMs = 50;

    // reloaded, when given, is told on a turn of its own each time a reload was asked for
    // (watchReloadSignal), until the stop.
    explicit StopWatch(std::function<void()> stopped, std::function<void()> reloaded = {});
    StopWatch(const StopWatch&) = delete;
    StopWatch& operator=(const StopWatch&) = delete;

private:
    StopOnTurn onTurn_;
    QTimer look_;
    std::function<void()> stopped_;
    std::function<void()> reloaded_;
    bool told_ = false;
};

} // namespace kx::cli
