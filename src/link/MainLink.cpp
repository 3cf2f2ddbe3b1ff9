#include "link/MainLink.h"

#include <QLoggingCategory>

// Debug lines (stale handles) only when asked for with QT_LOGGING_RULES.
Q_LOGGING_CATEGORY(lcMainLink, "kx.link.mainport", QtInfoMsg)

namespace kx {

MainLink::MainLink(Clock& clock, std::unique_ptr<SerialDevice> device, PortSettings& port,
                   MainLinkListener& listener, QObject* parent)
    : QObject(parent), clock_(clock), port_(port), listener_(listener),
      ComPort_(std::make_unique<SerialChannel>(clock, std::move(device)))
{
    ComPort_->setResolver([this](int n) { return port_.mappedDevice(n); });
    ComPort_->setHandler([this](TriggerKind kind, quint16 handle, int count) {
        ComPortTrigger(kind, handle, count);
    });
    ComPort_->setLostHandler([this](const QString& reason) { onPortLost(reason); });
}

MainLink::~MainLink()
{
    cancelOpenWait();
}

void MainLink::armReplyTimer(bool arm, int ticks)
{
    if (handles_[ReplyTimer] != 0)
        ComPort_->SetTimerTrigger(handles_[ReplyTimer], ticks, arm);
}

bool MainLink::notificationsArmed() const
{
    for (const quint16 h : handles_) {
        if (h == 0)
            return false;
    }
    return true;
}

void MainLink::removeTriggers()
{
    for (quint16& h : handles_) {
        if (h != 0) {
            try {
                ComPort_->RemoveTrigger(h);
            } catch (const ChannelError& e) {
                qCDebug(lcMainLink) << "stale notification not removed:" << e.describe();
            }
        }
        h = 0;
    }
}

bool MainLink::createTriggers()
{
    SerialChannel& port = *ComPort_;
    const auto create = [&](Pattern which, auto make) {
        try {
            handles_[which] = make();
        } catch (const ChannelError& e) {
            handles_[which] = 0;
            LastOpenError = e.describe();
            qCWarning(lcMainLink) << "notification not created:" << LastOpenError;
        }
    };
    create(ReplyTimer, [&] { return port.AddTimerTrigger(); });
    create(ReadyPattern, [&] { return port.AddDataTrigger("ready", true); });
    create(AckPattern, [&] { return port.AddDataTrigger(QByteArray(1, ctl(Ctl::ACK)), true); });
    create(NakPattern, [&] { return port.AddDataTrigger(QByteArray(1, ctl(Ctl::NAK)), true); });
    return notificationsArmed();
}

void MainLink::close()
{
    Connected = false;
    if (!ComPort_->IsOpen())
        return;
    try {
        // A port that cannot even be flushed is closed all the same.
        ComPort_->FlushInBuffer();
        ComPort_->SetOpen(false);
    } catch (const ChannelError& e) {
        qCWarning(lcMainLink) << "main port close:" << e.describe();
    }
}

void MainLink::OpenComPort(OpenDone then)
{
    cancelOpenWait();
    if (then)
        openDone_.push_back(std::move(then));
    SerialChannel& port = *ComPort_;
    Connected = false;
    try {
        if (port.IsOpen())
            port.SetOpen(false);
    } catch (const std::exception& e) {
        qCWarning(lcMainLink) << "close before the open failed:" << e.what();
    }
    removeTriggers();
    OpenAttempt = 0;
    OpenPhase_ = OpenPhase::Settling;
    waitTicks(SettleTicks, [this] { applyLineSettings(); });
}

void MainLink::waitTicks(int ticks, std::function<void()> next)
{
    const qint64 now = clock_.nowMs();
    OpenWait = clock_.startTimer(SerialChannel::tickDeadline(now, ticks) - now,
                                 [this, next = std::move(next)] {
                                     OpenWait = 0;
                                     if (windingDown_) {
                                         finishOpen(false, false);
                                         return;
                                     }
                                     try {
                                         next();
                                     } catch (const std::exception& e) {
                                         qCWarning(lcMainLink) << "open failed:" << e.what();
                                         // Unless the open has ended, or a new one waits.
                                         if (OpenPhase_ != OpenPhase::Idle && OpenWait == 0)
                                             finishOpen(false, false);
                                     }
                                 });
}

void MainLink::cancelOpenWait()
{
    if (OpenWait != 0)
        clock_.cancelTimer(OpenWait);
    OpenWait = 0;
}

void MainLink::abandonOpen()
{
    if (OpenPhase_ == OpenPhase::Idle)
        return;
    cancelOpenWait();
    finishOpen(false, false);
}

void MainLink::applyLineSettings()
{
    SerialChannel& port = *ComPort_;
    const LineSettings line = port_.lineSettings();
    port.SetBaud(line.baud);
    port.SetParity(line.parity);
    port.SetDatabits(line.dataBits);
    port.SetStopbits(line.stopBits);
    port.SetComNumber(port_.portNumber());
    LastOpenError.clear();
    OpenArmed = false;
    tryOpen();
}

void MainLink::tryOpen()
{
    SerialChannel& port = *ComPort_;
    if (OpenAttempt >= OpenAttempts || port.IsOpen() || port.ComNumber() == 0) {
        openTried();
        return;
    }
    ++OpenAttempt;
    OpenPhase_ = OpenPhase::Attempting;
    try {
        port.SetOpen(true);
    } catch (const ChannelError& e) {
        LastOpenError = e.describe();
        qCWarning(lcMainLink) << "open failed:" << LastOpenError;
    }
    if (port.IsOpen())
        OpenArmed = createTriggers();
    if (port.IsOpen()) {
        openTried();
        return;
    }
    // Also after the last attempt: the failure is told when this wait has run out.
    OpenPhase_ = OpenPhase::RetryWait;
    waitTicks(RetryTicks, [this] { tryOpen(); });
}

void MainLink::openTried()
{
    SerialChannel& port = *ComPort_;
    if (!port.IsOpen() || !OpenArmed) {
        finishOpen(false, port.ComNumber() != 0);
        return;
    }
    if (port.FlushInBuffer()) {
        finishOpen(true, false);
    } else {
        LastOpenError =
            QStringLiteral("%1: pending input cannot be discarded").arg(port.DevicePath());
        finishOpen(false, false);
    }
}

void MainLink::finishOpen(bool connected, bool showFailure)
{
    OpenPhase_ = OpenPhase::Idle;
    Connected = connected;
    listener_.openEnded(connected, showFailure);
    // A waiter may start the next open; it collects its own waiters.
    std::vector<OpenDone> done;
    done.swap(openDone_);
    for (OpenDone& then : done)
        then(connected);
    emit openFinished(connected, connected ? QString() : LastOpenError);
}

void MainLink::onPortLost(const QString& reason)
{
    LastOpenError = QStringLiteral("%1: %2").arg(ComPort_->DevicePath(), reason);
    Connected = false;
    listener_.linkLost(LastOpenError);
}

void MainLink::ComPortTrigger(TriggerKind kind, quint16 handle, int count)
{
    const LineInput input = listener_.lineInput();
    if (input == LineInput::Hold)
        return;
    try {
        armReplyTimer(false, 0);
        if (input == LineInput::Drop) {
            ComPort_->GetBlock(count);
            if (owner_)
                owner_->dropText();
            return;
        }
        dispatch(kind, handle, count);
    } catch (const std::exception& e) {
        qCWarning(lcMainLink) << "receive failed:" << e.what();
    }
}

void MainLink::dispatch(TriggerKind kind, quint16 handle, int count)
{
    if (!owner_)
        return;
    switch (kind) {
    case TriggerKind::TriggerAvail:
        owner_->onDataAvailable(count);
        break;
    case TriggerKind::TriggerData:
        if (handle == 0)
            break;
        if (handle == handles_[ReadyPattern])
            owner_->onPattern(LinePattern::Ready);
        else if (handle == handles_[AckPattern])
            owner_->onPattern(LinePattern::Ack);
        else if (handle == handles_[NakPattern])
            owner_->onPattern(LinePattern::Nak);
        break;
    case TriggerKind::TriggerTimer:
        owner_->onReplyTimeout();
        break;
    }
}

} // namespace kx
