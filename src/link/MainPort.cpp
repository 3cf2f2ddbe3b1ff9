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

void FrontPanel::OpenComPort()
{
    SerialChannel& port = *ComPort_;
    if (port.IsOpen())
        port.SetOpen(false);
    // Closed is not connected, even while the reopen below waits with events flowing.
    Connected = false;
    removeTriggers();

    port.DelayTicks(SettleTicks);

    const LineSettings line = port_.lineSettings();
    poll_.setDemandMode(port_.portMode() == 1);
    port.SetBaud(line.baud);
    port.SetParity(line.parity);
    port.SetDatabits(line.dataBits);
    port.SetStopbits(line.stopBits);
    port.SetComNumber(port_.portNumber());

    LastOpenError.clear();
    bool armed = false;
    for (int attempt = 0; attempt < OpenAttempts && !port.IsOpen() && port.ComNumber() != 0;
         ++attempt) {
        try {
            port.SetOpen(true);
        } catch (const ChannelError& e) {
            LastOpenError = e.describe();
            qCWarning(lcMainPort) << "open failed:" << LastOpenError;
        }
        if (port.IsOpen())
            armed = createTriggers();
        if (!port.IsOpen())
            port.DelayTicks(RetryTicks);
    }

    if (!port.IsOpen() || !armed) {
        if (port.ComNumber() != 0)
            dialogs_.showPortError(QStringLiteral("Communications Port Failed"), LastOpenError);
        Connected = false;
        showDisconnected();
        return;
    }
    if (port.FlushInBuffer()) {
        Connected = true;
    } else {
        LastOpenError =
            QStringLiteral("%1: pending input cannot be discarded").arg(port.DevicePath());
        Connected = false;
        showDisconnected();
    }
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
        bool failed = false;
        try {
            OpenComPort();
        } catch (const std::exception& e) {
            qCWarning(lcMainPort) << "first open failed:" << e.what();
            failed = true;
        }
        if (!Connected || failed)
            WeightDblClick();
        if (ComPort_->ComNumber() == 0)
            dialogs_.showPortError(QStringLiteral("No Communications Port Selected"), {});
    }
    if (Connected)
        poll_.step();
    timer.start();
}

void FrontPanel::ComPortTrigger(TriggerKind kind, quint16 handle, int count)
{
    if (InTrigger || (face_.ShuttingDownPanel && poll_.state() != PollState::FrameReady))
        return;
    const BusyFlag busy(InTrigger);
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
