#include "link/PollCycle.h"

#include "link/ReceivedText.h"
#include "link/SerialTypes.h"

#include <QLoggingCategory>

// Debug lines (every frame shown, short frames) only when asked for with QT_LOGGING_RULES.
Q_LOGGING_CATEGORY(lcPoll, "kx.link.poll", QtInfoMsg)

namespace kx {

PollCycle::PollCycle(Clock& clock, MainLine& line, PollCycleListener& listener,
                     Timer::Handler onTick)
    : line_(line), listener_(listener), PollTimer(clock, PollInterval.count(), std::move(onTick))
{
}

void PollCycle::step()
{
    switch (state_) {
    case PollState::Start:
        MissedReplies = 0;
        ReplyWait = 0;
        [[fallthrough]];
    case PollState::Arm:
        if (line_.isOpen()) {
            line_.armReplyTimer(true, 1);
            // A poll that does not go out shows as a missed reply; the send logs why.
            if (demand_)
                (void)line_.send(QByteArray(1, ctl(Ctl::CR)));
        }
        state_ = PollState::Waiting;
        break;
    case PollState::Waiting:
        if (++ReplyWait < ReplyWaitLimit)
            break;
        ReplyWait = 0;
        MissedReplies = MissedRepliesAfterSilence;
        missedReply();
        break;
    case PollState::FrameReady:
        MissedReplies = 0;
        ReplyWait = 0;
        state_ = PollState::Arm;
        showFrame();
        break;
    case PollState::ReplyMissed:
        missedReply();
        break;
    }
}

void PollCycle::missedReply()
{
    state_ = PollState::Arm;
    if (++MissedReplies > MissedReplyLimit && !listener_.tareEntryOpen()) {
        ReplyWait = 0;
        MissedReplies = 0;
        if (!KeepWeight)
            listener_.blankWeight();
        // What the indicator makes of "?" does not matter; a send that fails is logged.
        (void)line_.send("?");
    }
}

void PollCycle::showFrame()
{
    static const char* const spinner[] = {"/", "-", "\\", "|"};
    SpinIndex = (SpinIndex + 1) % 4;
    const DecodedFrame frame = decodeReplyFrame(ReplyFrame);
    KeepWeight = frame.keepWeight;
    Decimals = frame.decimals;
    RxText.clear();
    qCDebug(lcPoll) << "frame shown:" << frame.weight;
    listener_.ShowReplyFrame(frame,
                             QStringLiteral("Connected!  ") + QLatin1String(spinner[SpinIndex]));
}

void PollCycle::lineLost()
{
    state_ = PollState::Start;
    RxText.clear();
}

void PollCycle::onDataAvailable(int count)
{
    bool dropped = false;
    count = dropOverflow(line_, count, dropped);
    if (dropped)
        RxText.clear();
    appendText(RxText, line_.take(count));
    const qsizetype eot = RxText.lastIndexOf(ctl(Ctl::EOT));
    if (eot < 0) {
        // Noise without a frame end: drop it rather than let the text grow without bound.
        if (RxText.size() > RxTextCapacity)
            RxText.clear();
        return;
    }
    if (eot >= ReplyFrameLength) {
        ReplyFrame = RxText.mid(eot - ReplyFrameLength, ReplyFrameLength);
        state_ = PollState::FrameReady;
    } else {
        qCDebug(lcPoll) << "short frame dropped:" << RxText.left(eot);
    }
    RxText.clear();
    PollTimer.start();
}

void PollCycle::onReplyTimeout()
{
    RxText.clear();
    state_ = PollState::ReplyMissed;
    PollTimer.start();
}

} // namespace kx
