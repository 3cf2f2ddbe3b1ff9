#include "firmware/BootstrapLoader.h"

#include "firmware/LoaderFraming.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

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
    : ScalePort(scalePort), listener_(listener), folder_(std::move(folder)),
      StateTimer(clock, StateInterval.count()), WatchdogTimer(clock, WatchdogInterval.count())
{
    StateTimer.setOnTimer([this] { StateTimerTimer(); });
    WatchdogTimer.setOnTimer([this] { WatchdogTimerTimer(); });
}

void BootstrapLoader::StartTransfer(const QList<QByteArray>& image)
{
    BSLList = image;
    LineIndex = 0;
    ErrorCount = 0;
    SendFailures = 0;
    Running = true;
    listener_.ReportProgress(0, total());
    step_ = SendStep::Enter;
    startStateTimer(static_cast<int>(StateInterval.count()));
}

void BootstrapLoader::stop()
{
    StateTimer.stop();
    StateTimer.setInterval(static_cast<int>(StateInterval.count()));
    armReply(false);
    Running = false;
    step_ = SendStep::Idle;
    awaited_ = AwaitedReply::None;
    ErrorCount = 0;
    SendFailures = 0;
    ReceiveText.clear();
}

void BootstrapLoader::startStateTimer(int ms)
{
    StateTimer.stop();
    StateTimer.setInterval(ms);
    StateTimer.start();
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
    StateTimer.stop();
    StateTimer.setInterval(static_cast<int>(StateInterval.count()));
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
    if (sendFresh()) {
        SendFailures = 0;
        return;
    }
    armReply(false);
    if (++SendFailures <= SendFailureLimit) {
        StateTimer.start();
        return;
    }
    if (Running) {
        Running = false;
        listener_.ReportProgress(-1, total());
    }
    SendFailures = 0;
    step_ = SendStep::Idle;
}

bool BootstrapLoader::sendFresh()
{
    if (!ScalePort.IsOpen() || listener_.shuttingDown())
        return false;
    QByteArray payload;
    switch (step_) {
    case SendStep::Enter:
        awaited_ = AwaitedReply::Enter;
        SendBuffer = loaderEnterMessage();
        break;
    case SendStep::Line:
        awaited_ = AwaitedReply::Line;
        if (LineIndex < 0 || LineIndex >= total())
            return false;
        SendBuffer = loaderLineMessage(BSLList[LineIndex]);
        break;
    default:
        awaited_ = AwaitedReply::End;
        SendBuffer = loaderEndMessage();
        break;
    }
    ReceiveText.clear();
    if (!ScalePort.FlushOutBuffer())
        return false;
    if (ScalePort.GetInBuffUsed() > 0 && !ScalePort.FlushInBuffer())
        return false;
    // A message the loader cannot take whole would reach it cut; it is not sent.
    if (SendBuffer.size() > LoaderTransmitBuffer || !ScalePort.PutString(SendBuffer))
        return false;
    logSent();
    armReply(true);
    return true;
}

void BootstrapLoader::resend()
{
    if (ScalePort.IsOpen()) {
        if (ScalePort.GetInBuffUsed() > 0)
            ScalePort.FlushInBuffer();
        if (ScalePort.GetOutBuffUsed() > 0)
            ScalePort.FlushOutBuffer();
    }
    ReceiveText.clear();
    // A resend that cannot go out is left to the time-out, which counts it as an error.
    if (ScalePort.PutString(SendBuffer))
        logSent();
    armReply(true);
}

void BootstrapLoader::logSent()
{
    QByteArray shown = SendBuffer.left(SendBuffer.size() - 1);
    if (shown.endsWith("\r\n"))
        shown.chop(2);
    logLine(">> " + shown + "  <" + hexByte(SendBuffer.back()) + ">");
}

void BootstrapLoader::WatchdogTimerTimer()
{
    WatchdogTimer.stop();
    Busy = false;
}

void BootstrapLoader::ScalePortTrigger(TriggerKind kind, quint16 handle, int count)
{
    if (Busy)
        return;
    Busy = true;
    WatchdogTimer.stop();
    WatchdogTimer.start();
    try {
        this->handle(kind, handle, count);
    } catch (const std::exception& e) {
        qCWarning(lcLoader) << "loader reply failed:" << e.what();
    }
    WatchdogTimer.stop();
    Busy = false;
}

void BootstrapLoader::handle(TriggerKind kind, quint16 handle, int count)
{
    switch (kind) {
    case TriggerKind::TriggerAvail:
        onData(count);
        break;
    case TriggerKind::TriggerTimer:
        if (handle == ReplyTimer)
            onReplyTimeout();
        break;
    case TriggerKind::TriggerData:
        break;
    }
}

void BootstrapLoader::onData(int count)
{
    if (ReceiveText.size() + count > ReplyCapacity) {
        // No verdict in all that: drop it and let the time-out decide.
        while (ScalePort.GetInBuffUsed() > 0)
            ScalePort.GetBlock(ReadBlock);
        ReceiveText.clear();
        return;
    }
    while (count > 0) {
        const QByteArray block = ScalePort.GetBlock(std::min(count, ReadBlock));
        if (block.isEmpty())
            break;
        ReceiveText += block;
        count -= static_cast<int>(block.size());
    }
    if (ReceiveText.isEmpty())
        return;
    const char last = ReceiveText.back();
    if (last == ctl(Ctl::ACK)) {
        onAck();
    } else if (last == ctl(Ctl::NAK)) {
        onNak();
    } else {
        QByteArray line = "<< ??? - ";
        for (const char c : ReceiveText)
            line += "<" + hexByte(c) + ">";
        logLine(line);
    }
}

void BootstrapLoader::onAck()
{
    logLine("<< ACK");
    switch (awaited_) {
    case AwaitedReply::Enter:
        LineIndex = 0;
        step_ = total() > 0 ? SendStep::Line : SendStep::End;
        startStateTimer(static_cast<int>(EnterPause.count()));
        break;
    case AwaitedReply::Line:
        ++LineIndex;
        step_ = LineIndex < total() ? SendStep::Line : SendStep::End;
        listener_.ReportProgress(LineIndex, total());
        startStateTimer(LineDelay);
        break;
    case AwaitedReply::End:
        Running = false;
        StateTimer.stop();
        awaited_ = AwaitedReply::None;
        armReply(false);
        listener_.ReportProgress(total() + 1, total());
        break;
    case AwaitedReply::None:
        break;
    }
    if (!StateTimer.enabled())
        step_ = SendStep::Idle;
    armReply(false);
    ErrorCount = 0;
    SendFailures = 0;
    ReceiveText.clear();
}

void BootstrapLoader::onNak()
{
    logLine("<< NAK");
    if (awaited_ == AwaitedReply::Enter) {
        // The loader refused to start: asking again would not change its mind.
        fail();
        step_ = SendStep::Idle;
    } else {
        countError(true);
    }
    armReply(false);
    ReceiveText.clear();
}

void BootstrapLoader::onReplyTimeout()
{
    logLine("<< !TIMEOUT!");
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
    ++ErrorCount;
    if (ErrorCount < ErrorLimit) {
        if (step_ != SendStep::Idle) {
            step_ = SendStep::Resend;
            startStateTimer(static_cast<int>(ResendDelay.count()));
        }
        return;
    }
    fail();
    step_ = SendStep::Idle;
    if (afterNak)
        ErrorCount = 0;
}

void BootstrapLoader::fail()
{
    if (!Running)
        return;
    Running = false;
    listener_.ReportProgress(-1, total());
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
