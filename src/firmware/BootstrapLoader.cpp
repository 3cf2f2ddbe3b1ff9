#include "firmware/BootstrapLoader.h"

#include "firmware/LoaderFraming.h"
#include "link/ProtocolLog.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <utility>

Q_LOGGING_CATEGORY(lcLoader, "kx.firmware.loader", QtInfoMsg)

namespace kx {

namespace {

QByteArray hexByte(char c)
{
    return QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
}

} // namespace

BootstrapLoader::BootstrapLoader(Clock& clock, SerialChannel& scalePort,
                                 BootstrapLoaderListener& listener, QString folder)
    : clock_(clock), ScalePort(scalePort), listener_(listener), folder_(std::move(folder))
{
}

BootstrapLoader::~BootstrapLoader()
{
    cancelStep();
}

void BootstrapLoader::StartTransfer(const QList<QByteArray>& image)
{
    stop();
    BSLList = image;
    LineIndex = 0;
    ErrorCount = 0;
    SendFailures = 0;
    newMessage(0);
    linesSent_ = false;
    Running = true;
    listener_.ReportProgress(0, total());
    step_ = SendStep::Enter;
    schedule(StateInterval.count());
}

void BootstrapLoader::stop()
{
    cancelStep();
    armReply(false);
    if (Running)
        finish(Outcome::Cancelled);
    step_ = SendStep::Idle;
    awaited_ = AwaitedReply::None;
    ErrorCount = 0;
    SendFailures = 0;
    newMessage(0);
    ReceiveText.clear();
}

void BootstrapLoader::newMessage(int copies)
{
    copies_ = copies;
    answered_ = 0;
    taken_ = false;
    naks_ = 0;
    erred_.assign(std::size_t(copies), false);
}

void BootstrapLoader::lineLost(const QString& reason)
{
    if (!Running)
        return;
    cancelStep();
    armReply(false);
    finish(Outcome::LineFailed, reason);
}

void BootstrapLoader::finish(Outcome outcome, const QString& reason)
{
    if (!Running)
        return;
    Running = false;
    cancelStep();
    step_ = SendStep::Idle;
    UpdateEnd end;
    end.outcome = outcome;
    end.step = awaited_;
    end.line = LineIndex + 1;
    end.total = total();
    end.reason = reason;
    end.linesSent = linesSent_;
    listener_.loaderEnded(end);
}

void BootstrapLoader::schedule(qint64 ms)
{
    cancelStep();
    // The wait runs from now, and a wait of 0 is a step at the event loop's next turn:
    // never a timer that does not tick.
    stepTimer_ = clock_.startTimer(std::max<qint64>(0, ms), [this] {
        stepTimer_ = 0;
        StateTimerTimer();
    });
}

void BootstrapLoader::cancelStep()
{
    if (stepTimer_ != 0)
        clock_.cancelTimer(stepTimer_);
    stepTimer_ = 0;
}

void BootstrapLoader::armReply(bool arm)
{
    if (ReplyTimer == 0)
        return;
    try {
        ScalePort.SetTimerTrigger(ReplyTimer, ReplyTicks, arm);
    } catch (const ChannelError& e) {
        qCDebug(lcLoader) << "reply timer not set:" << e.describe();
    }
}

void BootstrapLoader::StateTimerTimer()
{
    cancelStep();
    if (Running && step_ != SendStep::Idle && stopCheck_ && stopCheck_()) {
        // The stop came before this message: it does not go.
        qCInfo(lcLoader) << "a stop came before the next message: nothing more goes out";
        stop();
        return;
    }
    switch (step_) {
    case SendStep::Resend:
        resend();
        return;
    case SendStep::Enter:
    case SendStep::Line:
    case SendStep::End:
        break;
    case SendStep::Idle:
        return;
    }
    QString why;
    if (sendFresh(why)) {
        SendFailures = 0;
        return;
    }
    armReply(false);
    if (++SendFailures <= SendFailureLimit) {
        schedule(StateInterval.count());
        return;
    }
    SendFailures = 0;
    finish(Outcome::LineFailed, why);
}

bool BootstrapLoader::sendFresh(QString& why)
{
    switch (step_) {
    case SendStep::Enter:
        awaited_ = AwaitedReply::Enter;
        break;
    case SendStep::Line:
        awaited_ = AwaitedReply::Line;
        break;
    default:
        awaited_ = AwaitedReply::End;
        break;
    }
    if (!ScalePort.IsOpen() || listener_.shuttingDown()) {
        why = ScalePort.IsOpen() ? QStringLiteral("the program is closing")
                                 : QStringLiteral("the loader port is closed");
        return false;
    }
    switch (step_) {
    case SendStep::Enter:
        SendBuffer = loaderEnterMessage();
        break;
    case SendStep::Line:
        if (LineIndex < 0 || LineIndex >= total()) {
            why = QStringLiteral("no line %1 in the image").arg(LineIndex + 1);
            return false;
        }
        SendBuffer = loaderLineMessage(BSLList[LineIndex]);
        break;
    default:
        SendBuffer = loaderEndMessage();
        break;
    }
    ReceiveText.clear();
    why = QStringLiteral("the port refused the message");
    if (!ScalePort.FlushOutBuffer())
        return false;
    if (ScalePort.GetInBuffUsed() > 0 && !ScalePort.FlushInBuffer())
        return false;
    // A message the loader cannot take whole would reach it cut; it is not sent.
    if (SendBuffer.size() > LoaderTransmitBuffer) {
        why = QStringLiteral("the message is longer than the loader's %1 bytes")
                  .arg(LoaderTransmitBuffer);
        return false;
    }
    newMessage(0);
    if (!ScalePort.PutString(SendBuffer))
        return false;
    newMessage(1);
    linesSent_ = linesSent_ || step_ == SendStep::Line || step_ == SendStep::End;
    why.clear();
    logSent();
    armReply(true);
    return true;
}

void BootstrapLoader::resend()
{
    // What has come in is kept: on a busy machine the port may have read the earlier copy's
    // answer in the same pass of the event loop that sends this one, and that answer counts.
    if (ScalePort.IsOpen() && ScalePort.GetOutBuffUsed() > 0)
        ScalePort.FlushOutBuffer();
    // A resend that cannot go out is left to the time-out, which counts it as an error.
    if (ScalePort.PutString(SendBuffer)) {
        ++copies_;
        erred_.push_back(false);
        logSent();
    }
    armReply(true);
}

void BootstrapLoader::logSent()
{
    logLine(">> " + renderLineBytes(SendBuffer) + "  <" + hexByte(SendBuffer.back()) + ">");
}

void BootstrapLoader::ScalePortTrigger(TriggerKind kind, quint16 handle, int count)
{
    try {
        this->handle(kind, handle, count);
    } catch (const std::exception& e) {
        qCWarning(lcLoader) << "loader reply failed:" << e.what();
    }
}

void BootstrapLoader::handle(TriggerKind kind, quint16 handle, int count)
{
    switch (kind) {
    case TriggerKind::TriggerAvail:
        onData(count);
        break;
    case TriggerKind::TriggerTimer:
        if (handle == ReplyTimer && Running)
            onReplyTimeout();
        break;
    case TriggerKind::TriggerData:
        break;
    }
}

void BootstrapLoader::drainInput()
{
    while (ScalePort.GetInBuffUsed() > 0)
        if (ScalePort.GetBlock(ReadBlock).isEmpty())
            break;
}

void BootstrapLoader::onData(int count)
{
    if (!Running) {
        // The run has ended: a late ACK must not start sending again.
        qCInfo(lcLoader) << "reply after the end ignored:" << renderLineBytes(ScalePort.GetBlock(
                                                                  std::min(count, ReadBlock)));
        drainInput();
        return;
    }
    if (ReceiveText.size() + count > ReplyCapacity) {
        // No verdict in all that: drop it and let the time-out decide.
        drainInput();
        ReceiveText.clear();
        return;
    }
    QByteArray fresh;
    while (count > 0) {
        const QByteArray block = ScalePort.GetBlock(std::min(count, ReadBlock));
        if (block.isEmpty())
            break;
        fresh += block;
        count -= static_cast<int>(block.size());
    }
    // Each ACK or NAK is one reply; whatever else comes is noise until a verdict follows.
    bool verdict = false;
    for (const char c : std::as_const(fresh)) {
        if (c != ctl(Ctl::ACK) && c != ctl(Ctl::NAK)) {
            ReceiveText += c;
            continue;
        }
        verdict = true;
        ReceiveText.clear();
        onReply(c == ctl(Ctl::ACK));
        if (!Running) {
            drainInput();
            return;
        }
    }
    if (!verdict && !ReceiveText.isEmpty()) {
        QByteArray line = "<< ??? - ";
        for (const char c : std::as_const(ReceiveText))
            line += "<" + hexByte(c) + ">";
        logLine(line);
    }
}

void BootstrapLoader::onReply(bool ack)
{
    if (answered_ >= copies_) {
        // Every copy sent has its answer: nothing asked for this one. Taking it as the answer
        // to the next message would let a line the loader never took count as taken.
        logLine(ack ? "<< ACK (unasked, ignored)" : "<< NAK (unasked, ignored)");
        return;
    }
    const int copy = answered_++;
    logLine(ack ? "<< ACK" : "<< NAK");
    if (ack) {
        taken_ = true;
    } else {
        ++naks_;
    }
    if (!ack && !erred_[std::size_t(copy)]) {
        // A copy whose time-out was counted already is not counted a second time.
        erred_[std::size_t(copy)] = true;
        if (!listener_.shuttingDown())
            ++ErrorCount;
    }
    if (answered_ < copies_)
        return; // the newer copies' answers are still to come; the reply timer runs for them
    armReply(false);
    if (taken_)
        onAck();
    else
        onNak();
}

void BootstrapLoader::onAck()
{
    armReply(false);
    ErrorCount = 0;
    SendFailures = 0;
    ReceiveText.clear();
    // The waits run from the ACK's arrival, not from when its notification got here.
    const qint64 since = std::max<qint64>(0, clock_.nowMs() - ScalePort.lastReceivedMs());
    switch (awaited_) {
    case AwaitedReply::Enter:
        LineIndex = 0;
        step_ = total() > 0 ? SendStep::Line : SendStep::End;
        schedule(EnterPause.count() - since);
        listener_.loaderEntered();
        break;
    case AwaitedReply::Line:
        ++LineIndex;
        step_ = LineIndex < total() ? SendStep::Line : SendStep::End;
        schedule(LineDelay - since);
        listener_.ReportProgress(LineIndex, total());
        break;
    case AwaitedReply::End:
        finish(Outcome::Completed);
        awaited_ = AwaitedReply::None;
        break;
    case AwaitedReply::None:
        // Nothing was asked (a stray byte before the first message): a step that is due
        // still goes out.
        break;
    }
}

void BootstrapLoader::onNak()
{
    armReply(false);
    ReceiveText.clear();
    if (awaited_ == AwaitedReply::Enter) {
        // The loader refused to start: asking again would not change its mind.
        finish(Outcome::Refused);
        return;
    }
    countError(true);
}

void BootstrapLoader::onReplyTimeout()
{
    logLine("<< !TIMEOUT!");
    if (const int newest = copies_ - 1; newest >= 0)
        erred_[std::size_t(newest)] = true;
    if (taken_) {
        // A copy was taken, and the loader still owes answers to later copies: the next
        // message waits for them, or their late answers would be read as its own. Each
        // window waited counts; past the error limit they are written off as lost.
        ++ErrorCount;
        if (ErrorCount < ErrorLimit) {
            armReply(true);
            return;
        }
        qCInfo(lcLoader) << copies_ - answered_ << "copies never answered; the message was taken";
        logLine("<< " + QByteArray::number(copies_ - answered_) + " copies never answered");
        answered_ = copies_;
        onAck();
        return;
    }
    // Counted even when this copy was counted before: then its resend never went out.
    countError(false);
    if (ErrorCount >= ErrorLimit) {
        ErrorCount = 0;
        ReceiveText.clear();
        awaited_ = AwaitedReply::None;
    }
}

void BootstrapLoader::countError(bool afterNak)
{
    if (listener_.shuttingDown())
        return;
    // A NAK's error was counted as it answered its copy.
    if (!afterNak)
        ++ErrorCount;
    if (ErrorCount < ErrorLimit) {
        if (step_ != SendStep::Idle) {
            step_ = SendStep::Resend;
            schedule(ResendDelay.count());
        }
        return;
    }
    // A loader that NAKed a copy refused the message, however late it said so.
    finish(afterNak || naks_ > 0 ? Outcome::Refused : Outcome::NoAnswer);
    if (afterNak)
        ErrorCount = 0;
}

void BootstrapLoader::logLine(const QByteArray& line)
{
    if (!LoggingOn || !listener_.progressPanelShown())
        return;
    if (LogList.isEmpty() && line.startsWith("<<"))
        return;
    if (LogList.size() > LogCapacity)
        LogList.removeFirst();
    LogList.append(line);
    ++LogAdded;
    if (!LogListVisible && QFileInfo::exists(QDir(folder_).filePath(QStringLiteral("view.log"))))
        LogListVisible = true;
    listener_.logChanged();
}

} // namespace kx
