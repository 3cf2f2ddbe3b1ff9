#pragma once

#include "link/LineClient.h"
#include "link/MainLine.h"
#include "link/Outcome.h"
#include "link/Timer.h"

#include <QByteArray>
#include <QString>
#include <chrono>

namespace kx {

// Where the field-bus debug monitor stands.
enum class DebugState
{
    Idle,
    Ask,           // send ENQ on the next step
    Waiting,       // ENQ sent, the answer has not ended yet
    ReplyComplete, // a CR ended the answer
    NoResponse
};

// The debug line as shown: the received text up to its first CR, without the blanks and
// control characters around it, and without the weight frames (each ended by EOT) that came
// before the answer.
QString debugLineText(const QByteArray& received);

// How a run of the monitor ended: completed when it was stopped (its button, Ctrl-C), no
// answer after "<<No Response>>", line failed when its ENQ could not go out or the device
// went, cancelled when the editor closed under it.
struct DebugResult
{
    Outcome outcome = Outcome::Completed;
    QString detail;
};

// What the debug monitor shows and when it lets go of the line.
class DebugMonitorListener
{
public:
    virtual ~DebugMonitorListener() = default;
    virtual void showDebugLine(const QString& line) = 0;
    // The monitor stopped by itself (no answer): the button reads "START DEBUG" again and
    // the line goes back to the transfer.
    virtual void debugStopped() = 0;
    // Every run ends here once, however it ended; after debugStopped() when it stopped itself.
    virtual void debugEnded(const DebugResult& result) { (void)result; }
};

// The field-bus debug monitor of the editor's field-bus page: it asks the indicator for its
// debug line with ENQ over and over and shows each answer but the first, until it is stopped
// or the indicator stops answering. It has the main port from start() to its stop.
class DebugMonitor : public LineClient
{
public:
    static constexpr std::chrono::milliseconds DebugInterval{100};
    // Reply timer ticks (of 55 ms) for an answer to begin.
    static constexpr int AnswerTicks = 20;
    // Steps in Waiting after which an unfinished answer counts as none.
    static constexpr int ReplyWaitLimit = 20;
    static constexpr int RxTextCapacity = 1023;
    static constexpr auto NoResponseText = "<<No Response>>";

    DebugMonitor(Clock& clock, MainLine& line, DebugMonitorListener& listener);

    DebugState state() const { return state_; }
    bool running() const { return DebugTimer.enabled(); }
    bool active() const { return DebugActive; }
    const QByteArray& rxText() const { return RxText; }

    // The button: START begins asking, STOP ends it and leaves the last answer shown. A stop
    // for another reason (the editor closing) says so.
    void start();
    void stop(Outcome why = Outcome::Completed);
    // The device went away: the run ends with the reason.
    void lineLost(const QString& reason);
    void DebugTimerTimer();

    // The receive dispatcher's events while the monitor has the line; patterns mean
    // nothing to it.
    void onDataAvailable(int count) override;
    void onPattern(LinePattern) override {}
    void onReplyTimeout() override;
    void dropText() override { RxText.clear(); }

private:
    void noResponse();
    void ended(Outcome outcome, const QString& detail = {});

    MainLine& line_;
    DebugMonitorListener& listener_;
    Timer DebugTimer;
    DebugState state_ = DebugState::Idle;
    bool DebugActive = false;
    // A run has started and not yet ended.
    bool runOpen_ = false;
    // The first answer after a start may be stale: it is read but not shown.
    bool DebugFirst = false;
    int ReplyWait = 0;
    QByteArray RxText;
};

} // namespace kx
