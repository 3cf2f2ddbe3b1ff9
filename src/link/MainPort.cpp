// The main port: opening it, the poll tick's lifecycle and the receive dispatcher that hands
// each notification to the engine that has the line.
#include "link/FrontPanel.h"

#include <QLoggingCategory>

// Debug lines (stale handles) only when asked for with QT_LOGGING_RULES.
Q_LOGGING_CATEGORY(lcMainPort, "kx.link.mainport", QtInfoMsg)

namespace kx {

void FrontPanel::armReplyTimer(bool arm, int ticks)
{
    if (ReplyTimer != 0)
        ComPort_->SetTimerTrigger(ReplyTimer, ticks, arm);
}

void FrontPanel::removeTriggers()
{
    for (quint16* h : {&ReplyTimer, &ReadyTrigger, &AckTrigger, &NakTrigger}) {
        if (*h != 0) {
            try {
                ComPort_->RemoveTrigger(*h);
            } catch (const ChannelError& e) {
                qCDebug(lcMainPort) << "stale notification not removed:" << e.describe();
            }
        }
        *h = 0;
    }
}

bool FrontPanel::createTriggers()
{
    SerialChannel& port = *ComPort_;
    const auto create = [&](quint16& handle, auto make) {
        try {
            handle = make();
        } catch (const ChannelError& e) {
            handle = 0;
            LastOpenError = e.describe();
            qCWarning(lcMainPort) << "notification not created:" << LastOpenError;
        }
    };
    create(ReplyTimer, [&] { return port.AddTimerTrigger(); });
    create(ReadyTrigger, [&] { return port.AddDataTrigger("ready", true); });
    create(AckTrigger, [&] { return port.AddDataTrigger(QByteArray(1, ctl(Ctl::ACK)), true); });
    create(NakTrigger, [&] { return port.AddDataTrigger(QByteArray(1, ctl(Ctl::NAK)), true); });
    return ReplyTimer && ReadyTrigger && AckTrigger && NakTrigger;
}

void FrontPanel::OpenComPort(OpenDone then)
{
    // A second request while one is under way starts the open over; whoever asked for the
    // earlier one hears the end of this one, so one port is opened and everybody hears once.
    cancelOpenWait();
    if (then)
        openDone_.push_back(std::move(then));
    SerialChannel& port = *ComPort_;
    Connected = false;
    try {
        if (port.IsOpen())
            port.SetOpen(false);
    } catch (const std::exception& e) {
        qCWarning(lcMainPort) << "close before the open failed:" << e.what();
    }
    removeTriggers();
    OpenAttempt = 0;
    OpenPhase_ = OpenPhase::Settling;
    waitTicks(SettleTicks, [this] { applyLineSettings(); });
}

void FrontPanel::waitTicks(int ticks, std::function<void()> next)
{
    const qint64 now = clock_.nowMs();
    OpenWait = clock_.startTimer(SerialChannel::tickDeadline(now, ticks) - now,
                                 [this, next = std::move(next)] {
                                     OpenWait = 0;
                                     // Shutdown begun while the open waited: nothing more opens.
                                     if (face_.ShuttingDownPanel) {
                                         finishOpen(false, false);
                                         return;
                                     }
                                     try {
                                         next();
                                     } catch (const std::exception& e) {
                                         qCWarning(lcMainPort) << "open failed:" << e.what();
                                         // Unless the open has ended, or a new one waits.
                                         if (OpenPhase_ != OpenPhase::Idle && OpenWait == 0)
                                             finishOpen(false, false);
                                     }
                                 });
}

void FrontPanel::cancelOpenWait()
{
    if (OpenWait != 0)
        clock_.cancelTimer(OpenWait);
    OpenWait = 0;
}

void FrontPanel::abandonOpen()
{
    if (OpenPhase_ == OpenPhase::Idle)
        return;
    cancelOpenWait();
    finishOpen(false, false);
}

void FrontPanel::applyLineSettings()
{
    SerialChannel& port = *ComPort_;
    const LineSettings line = port_.lineSettings();
    poll_.setDemandMode(port_.portMode() == 1);
    port.SetBaud(line.baud);
    port.SetParity(line.parity);
    port.SetDatabits(line.dataBits);
    port.SetStopbits(line.stopBits);
    port.SetComNumber(port_.portNumber());
    LastOpenError.clear();
    OpenArmed = false;
    tryOpen();
}

void FrontPanel::tryOpen()
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
        qCWarning(lcMainPort) << "open failed:" << LastOpenError;
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

void FrontPanel::openTried()
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

void FrontPanel::finishOpen(bool connected, bool showFailure)
{
    OpenPhase_ = OpenPhase::Idle;
    Connected = connected;
    if (!connected) {
        if (showFailure)
            dialogs_.showPortError(QStringLiteral("Communications Port Failed"), LastOpenError);
        showDisconnected();
    }
    // A waiter may start the next open; it collects its own waiters.
    std::vector<OpenDone> done;
    done.swap(openDone_);
    for (OpenDone& then : done)
        then(connected);
    emit openFinished(connected, connected ? QString() : LastOpenError);
}

void FrontPanel::PollTimerTimer()
{
    Timer& timer = poll_.pollTimer();
    timer.stop();
    if (!face_.WeighPanelEnabled)
        return;
    if (face_.ShuttingDownPanel) {
        if (Connected)
            armReplyTimer(false, 0);
        return;
    }
    if (!Connected && PortSettingsLoaded && FirstOpen) {
        FirstOpen = false;
        // The cycle goes on when the open, and the dialog after a failed one, have ended.
        const auto afterOpen = [this] {
            if (ComPort_->ComNumber() == 0)
                dialogs_.showPortError(QStringLiteral("No Communications Port Selected"), {});
            if (Connected)
                poll_.step();
            poll_.pollTimer().start();
        };
        OpenComPort([this, afterOpen](bool connected) {
            // A program on its way out shows no dialog.
            if (face_.ShuttingDownPanel)
                return;
            if (connected)
                afterOpen();
            else
                WeightDblClick(afterOpen);
        });
        return;
    }
    if (Connected)
        poll_.step();
    timer.start();
}

void FrontPanel::ComPortTrigger(TriggerKind kind, quint16 handle, int count)
{
    if (face_.ShuttingDownPanel && poll_.state() != PollState::FrameReady)
        return;
    try {
        dispatch(kind, handle, count);
    } catch (const std::exception& e) {
        qCWarning(lcMainPort) << "receive failed:" << e.what();
    }
}

void FrontPanel::dispatch(TriggerKind kind, quint16 handle, int count)
{
    armReplyTimer(false, 0);
    if (face_.TareWtVisible && face_.TareWtEnabled) {
        // The operator is typing a tare: nothing from the line may replace the face.
        ComPort_->GetBlock(count);
        switch (owner_) {
        case LineOwner::Polling:
            poll_.dropText();
            break;
        case LineOwner::SettingsTransfer:
            break;
        case LineOwner::DebugMonitor:
            debug_.dropText();
            break;
        }
        return;
    }
    switch (owner_) {
    case LineOwner::Polling:
        switch (kind) {
        case TriggerKind::TriggerAvail:
            poll_.onDataAvailable(count);
            break;
        case TriggerKind::TriggerData:
            // Outside the editor only an unasked "ready" means something.
            if (handle == ReadyTrigger)
                poll_.onReady();
            break;
        case TriggerKind::TriggerTimer:
            poll_.onReplyTimeout();
            break;
        }
        break;
    case LineOwner::SettingsTransfer:
        switch (kind) {
        case TriggerKind::TriggerAvail:
            transfer_.onDataAvailable(count);
            break;
        case TriggerKind::TriggerData:
            if (handle == AckTrigger)
                transfer_.onAck();
            else if (handle == NakTrigger)
                transfer_.onNak();
            else if (handle == ReadyTrigger)
                transfer_.onReady();
            break;
        case TriggerKind::TriggerTimer:
            transfer_.onReplyTimeout();
            break;
        }
        break;
    case LineOwner::DebugMonitor:
        switch (kind) {
        case TriggerKind::TriggerAvail:
            debug_.onDataAvailable(count);
            break;
        case TriggerKind::TriggerData:
            break; // the debug line's patterns mean nothing
        case TriggerKind::TriggerTimer:
            debug_.onReplyTimeout();
            break;
        }
        break;
    }
}

} // namespace kx
