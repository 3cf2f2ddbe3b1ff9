#include "link/DebugMonitor.h"

#include "link/ReceivedText.h"
#include "link/SerialTypes.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDebug, "kx.debug", QtInfoMsg)

namespace kx {

QString debugLineText(const QByteArray& received)
{
    const qsizetype cr = received.indexOf(ctl(Ctl::CR));
    qsizetype to = cr < 0 ? received.size() : cr;
    // In CONTINUOUS mode weight frames keep coming between the answers: a frame (or its tail)
    // ends with EOT, and the answer is what follows the last one.
    qsizetype from = to > 0 ? received.lastIndexOf(ctl(Ctl::EOT), to - 1) + 1 : 0;
    while (from < to && quint8(received[from]) <= ' ')
        ++from;
    while (to > from && quint8(received[to - 1]) <= ' ')
        --to;
    return QString::fromLatin1(received.mid(from, to - from));
}

DebugMonitor::DebugMonitor(Clock& clock, MainLine& line, DebugMonitorListener& listener)
    : line_(line), listener_(listener), DebugTimer(clock, DebugInterval.count())
{
    DebugTimer.setOnTimer([this] { DebugTimerTimer(); });
}

void DebugMonitor::start()
{
    listener_.showDebugLine(QString());
    runOpen_ = true;
    DebugActive = true;
    DebugFirst = true;
    state_ = DebugState::Ask;
    DebugTimer.setInterval(DebugInterval.count());
    DebugTimer.start();
}

void DebugMonitor::stop(Outcome why)
{
    DebugActive = false;
    DebugTimer.stop();
    ended(why);
}

void DebugMonitor::lineLost(const QString& reason)
{
    if (!runOpen_)
        return;
    DebugActive = false;
    DebugTimer.stop();
    listener_.showDebugLine(reason);
    listener_.debugStopped();
    ended(Outcome::LineFailed, reason);
}

void DebugMonitor::ended(Outcome outcome, const QString& detail)
{
    if (!runOpen_)
        return;
    runOpen_ = false;
    state_ = DebugState::Idle;
    listener_.debugEnded({outcome, detail});
}

void DebugMonitor::DebugTimerTimer()
{
    DebugTimer.setInterval(0);
    if (!DebugActive)
        state_ = DebugState::Idle;
    switch (state_) {
    case DebugState::Ask:
        if (line_.isOpen()) {
            // A stale answer left in the port is dropped with the first one anyway.
            if (DebugFirst && !line_.discardInput())
                qCInfo(lcDebug) << "discarding input failed:" << line_.failure();
            line_.armReplyTimer(true, AnswerTicks);
            if (!line_.send(QByteArray(1, ctl(Ctl::ENQ)))) {
                const QString why = line_.failure();
                DebugActive = false;
                DebugTimer.stop();
                line_.armReplyTimer(false, 0);
                listener_.showDebugLine(why);
                listener_.debugStopped();
                ended(Outcome::LineFailed, why);
                return;
            }
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
        if (!DebugFirst)
            listener_.showDebugLine(debugLineText(RxText));
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
    ended(Outcome::NoAnswer, QStringLiteral("No debug line from the KX7400."));
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
