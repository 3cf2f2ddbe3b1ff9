#pragma once

#include "link/LineClient.h"
#include "link/MainLine.h"
#include "link/ReceivedText.h"
#include "link/ReplyFrame.h"
#include "link/Timer.h"

#include <QByteArray>
#include <chrono>

namespace kx {

// The poll cycle's steps. Arm sends the demand (in DEMAND mode) and arms the reply timer;
// Waiting counts ticks until a frame or the reply timer ends it.
enum class PollState
{
    Start,
    Arm,
    Waiting,
    FrameReady,
    ReplyMissed
};

// What the poll cycle shows: the face implements it.
class PollCycleListener
{
public:
    virtual ~PollCycleListener() = default;
    // A frame arrived: show it with the spinner text, then send what is pending.
    virtual void ShowReplyFrame(const DecodedFrame& frame, const QString& connectedLabel) = 0;
    // Replies stopped: the weight goes blank.
    virtual void blankWeight() = 0;
    // The operator is typing a tare: missed replies must not blank the face meanwhile.
    virtual bool tareEntryOpen() const = 0;
};

// The poll cycle and the weight display's part of the receive path: it asks for frames (in
// DEMAND mode), assembles them from the received bytes, counts missed replies and blanks
// the weight when they stop. Driven by the session's tick handler (PollTimer is the
// cycle's own, its handler the session's lifecycle) and by the link's dispatch while
// polling has the line.
class PollCycle : public LineClient
{
public:
    static constexpr std::chrono::milliseconds PollInterval{100};
    // Poll ticks in Waiting after which the reply counts as missing for good.
    static constexpr int ReplyWaitLimit = 20;
    // Missed replies in a row that blank the weight and ask the indicator with "?".
    static constexpr int MissedReplyLimit = 5;
    // A whole wait without a reply counts as more than the limit: the face blanks at once.
    static constexpr int MissedRepliesAfterSilence = 2 * MissedReplyLimit;
    // The most bytes taken from the port in one notification; the rest go in 64-byte pieces.
    static constexpr int OverflowLimit = ::kx::OverflowLimit;
    static constexpr int OverflowPiece = ::kx::OverflowPiece;
    // The receive text is a fixed 1 KiB C string.
    static constexpr int RxTextCapacity = 1023;

    PollCycle(Clock& clock, MainLine& line, PollCycleListener& listener, Timer::Handler onTick);

    PollState state() const { return state_; }
    int replyWait() const { return ReplyWait; }
    int missedReplies() const { return MissedReplies; }
    const QByteArray& rxText() const { return RxText; }
    bool keepWeight() const { return KeepWeight; }
    int decimals() const { return Decimals; }
    bool demandMode() const { return demand_; }

    Timer& pollTimer() { return PollTimer; }
    const Timer& pollTimer() const { return PollTimer; }
    void pausePolling() { PollTimer.setInterval(0); }
    void resumePolling() { PollTimer.setInterval(PollInterval.count()); }

    // The port was (re)opened with this mode: DEMAND asks for every frame.
    void setDemandMode(bool demand) { demand_ = demand; }
    // One step of the cycle, run by each poll tick while connected.
    void step();
    // Begins again from Start: after the editor has had the line, or the port was lost.
    void restart() { state_ = PollState::Start; }
    void lineLost();

    // The receive dispatcher's events while polling has the line.
    void onDataAvailable(int count) override;
    // Outside the editor only an unasked "ready" means something.
    void onPattern(LinePattern pattern) override
    {
        if (pattern == LinePattern::Ready)
            onReady();
    }
    // An unasked "ready": the indicator is back, ask again.
    void onReady() { state_ = PollState::Arm; }
    void onReplyTimeout() override;
    // Received bytes were dropped unread (a tare is being typed): the text goes with them.
    void dropText() override { RxText.clear(); }

private:
    void missedReply();
    void showFrame();

    MainLine& line_;
    PollCycleListener& listener_;
    Timer PollTimer;
    PollState state_ = PollState::Start;
    bool demand_ = false;
    int ReplyWait = 0;
    int MissedReplies = 0;
    QByteArray RxText;
    QByteArray ReplyFrame;
    int SpinIndex = 0;
    bool KeepWeight = false;
    int Decimals = 0;
};

} // namespace kx
