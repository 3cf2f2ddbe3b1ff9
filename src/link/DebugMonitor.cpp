#include "link/DebugMonitor.h"

#include "link/PollCycle.h"
#include "link/SerialTypes.h"

namespace kx {

DebugMonitor::DebugMonitor(Clock& clock, MainLine& line, DebugMonitorListener& listener)
    : line_(line), listener_(listener), DebugTimer(clock, DebugInterval.count())
{
    DebugTimer.setOnTimer([this] { DebugTimerTimer(); });
}

void DebugMonitor::start()
{
    listener_.showDebugLine(QString());
    DebugActive = true;
    DebugFirst = true;
    state_ = DebugState::Ask;
    DebugTimer.setInterval(DebugInterval.count());
    DebugTimer.start();
}

void DebugMonitor::stop()
{
    DebugActive = false;
    DebugTimer.stop();
}

void DebugMonitor::DebugTimerTimer()
{
    DebugTimer.setInterval(0);
    if (!DebugActive)
        state_ = DebugState::Idle;
    switch (state_) {
    case DebugState::Ask:
        if (line_.isOpen()) {
            if (DebugFirst)
                line_.discardInput();
            line_.armReplyTimer(true, AnswerTicks);
            line_.send(QByteArray(1, ctl(Ctl::ENQ)));
        }
        state_ = DebugState::Waiting;
        break;
    case DebugState::Waiting:
        if (++ReplyWait < ReplyWaitLimit)
            break;
        ReplyWait = 0;
        noResponse();
        break;
    case DebugState::ReplyComplete: {
        if (!DebugFirst) {
            // A weight frame the indicator streams meanwhile ends with EOT; the reply is what
            // follows the last one, up to the CR.
            QByteArray shown = RxText.left(RxText.indexOf(ctl(Ctl::CR)));
            shown = shown.mid(shown.lastIndexOf(ctl(Ctl::EOT)) + 1);
            while (!shown.isEmpty() && quint8(shown.front()) <= ' ')
                shown.remove(0, 1);
            while (!shown.isEmpty() && quint8(shown.back()) <= ' ')
                shown.chop(1);
            listener_.showDebugLine(QString::fromLatin1(shown));
        }
        DebugFirst = false;
        RxText.clear();
        ReplyWait = 0;
        state_ = DebugState::Ask;
        break;
    }
    case DebugState::NoResponse:
        noResponse();
        break;
    case DebugState::Idle:
        break;
    }
    if (DebugActive)
        DebugTimer.setInterval(DebugInterval.count());
}

void DebugMonitor::noResponse()
{
    ReplyWait = 0;
    listener_.showDebugLine(QString::fromLatin1(NoResponseText));
    DebugActive = false;
    DebugTimer.stop();
    listener_.debugStopped();
}

void DebugMonitor::onDataAvailable(int count)
{
    bool dropped = false;
    count = dropOverflow(line_, count, dropped);
    if (dropped)
        RxText.clear();
    const QByteArray bytes = line_.take(count);
    if (RxText.size() + bytes.size() > RxTextCapacity)
        RxText.clear();
    appendText(RxText, bytes);
    if (RxText.contains(ctl(Ctl::CR)))
        state_ = DebugState::ReplyComplete;
}

void DebugMonitor::onReplyTimeout()
{
    RxText.clear();
    state_ = DebugState::NoResponse;
}

} // namespace kx
