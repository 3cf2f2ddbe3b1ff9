// The poll cycle, the receive dispatcher and the weight display of the front panel.
#include "link/FrontPanel.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPoll, "kx.link.poll")

namespace kx {

void FrontPanel::ArmReplyTimer(bool arm, int ticks)
{
    if (ReplyTimer != 0)
        ComPort_->SetTimerTrigger(ReplyTimer, ticks, arm);
}

void FrontPanel::OpenComPort()
{
    SerialChannel& port = *ComPort_;
    try {
        if (port.IsOpen())
            port.SetOpen(false);
        // Closed is not connected, even while the reopen below waits with events flowing.
        Connected = false;
        for (quint16* h : {&ReplyTimer, &ReadyTrigger, &AckTrigger, &NakTrigger}) {
            if (*h != 0) {
                try {
                    port.RemoveTrigger(*h);
                } catch (const ChannelError&) {
                }
            }
            *h = 0;
        }
    } catch (const std::exception& e) {
        host_.showErrorBox(QString::fromLocal8Bit(e.what()));
    }

    port.DelayTicks(1);

    PortMode = port_.portMode();
    const LineSettings line = port_.lineSettings();
    port.SetBaud(line.baud);
    port.SetParity(line.parity);
    port.SetDatabits(line.dataBits);
    port.SetStopbits(line.stopBits);
    port.SetComNumber(port_.portNumber());

    LastOpenError.clear();
    for (int attempt = 0; attempt < 2 && !port.IsOpen() && port.ComNumber() != 0; ++attempt) {
        try {
            port.SetOpen(true);
        } catch (const ChannelError& e) {
            LastOpenError = e.describe();
            qCWarning(lcPoll) << "open failed:" << LastOpenError;
        }
        if (port.IsOpen()) {
            const auto create = [&](quint16& handle, auto make) {
                try {
                    handle = make();
                } catch (const ChannelError& e) {
                    handle = 0;
                    LastOpenError = e.describe();
                }
            };
            create(ReplyTimer, [&] { return port.AddTimerTrigger(); });
            create(ReadyTrigger, [&] { return port.AddDataTrigger("ready", true); });
            create(AckTrigger,
                   [&] { return port.AddDataTrigger(QByteArray(1, ctl(Ctl::ACK)), true); });
            create(NakTrigger,
                   [&] { return port.AddDataTrigger(QByteArray(1, ctl(Ctl::NAK)), true); });
        }
        if (!port.IsOpen())
            port.DelayTicks(10);
    }

    const bool opened = port.IsOpen() && ReplyTimer && ReadyTrigger && AckTrigger && NakTrigger;
    if (!opened) {
        if (port.ComNumber() != 0)
            host_.showPortError(QStringLiteral("Communications Port Failed"), LastOpenError);
        Connected = false;
        showDisconnected();
        return;
    }
    try {
        port.FlushInBuffer();
        Connected = true;
    } catch (const ChannelError& e) {
        LastOpenError = e.describe();
        Connected = false;
        showDisconnected();
    }
}

void FrontPanel::PollTimerTimer()
{
    PollTimer.stop();
    if (!face_.WeighPanelEnabled)
        return;
    try {
        if (face_.ShuttingDownPanel) {
            if (Connected)
                ArmReplyTimer(false, 0);
            return;
        }
        if (!Connected && PortSettingsLoaded && FirstOpen) {
            FirstOpen = false;
            bool failed = false;
            try {
                OpenComPort();
            } catch (const std::exception&) {
                failed = true;
            }
            if (!Connected || failed)
                WeightDblClick();
            if (ComPort_->ComNumber() == 0)
                host_.showPortError(QStringLiteral("No Communications Port Selected"), {});
        }
        if (Connected)
            pollStep();
    } catch (const std::exception& e) {
        qCWarning(lcPoll) << "poll tick failed:" << e.what();
    }
    PollTimer.start();
}

void FrontPanel::pollStep()
{
    switch (PollState) {
    case 0:
        MissedReplies = 0;
        ReplyWait = 0;
        [[fallthrough]];
    case 1:
        if (ComPort_->IsOpen()) {
            ArmReplyTimer(true, 1);
            if (PortMode == 1)
                send(QByteArray(1, ctl(Ctl::CR)));
        }
        PollState = 2;
        break;
    case 2:
        if (++ReplyWait < ReplyWaitLimit)
            break;
        ReplyWait = 0;
        MissedReplies = 10;
        missedReply();
        break;
    case 3:
        MissedReplies = 0;
        ReplyWait = 0;
        PollState = 1;
        try {
            ShowReplyFrame();
        } catch (const std::exception&) {
            face_.Weight = QStringLiteral("ERROR");
            changed();
        }
        if (PortMode != 1)
            TransferReply = 1;
        break;
    case 4:
        missedReply();
        break;
    default:
        break;
    }
}

void FrontPanel::missedReply()
{
    PollState = 1;
    if (++MissedReplies > MissedReplyLimit && !face_.TareWtVisible) {
        ReplyWait = 0;
        MissedReplies = 0;
        if (!KeepWeight) {
            face_.Weight = QStringLiteral("------");
            changed();
        }
        try {
            send("?");
        } catch (const ChannelError&) {
        }
    }
}

void FrontPanel::ComPortTrigger(TriggerKind kind, quint16 handle, int count)
{
    if (InTrigger || (face_.ShuttingDownPanel && PollState != 3))
        return;
    const BusyFlag busy(InTrigger);

    try {
        ArmReplyTimer(false, 0);
        if (face_.TareWtVisible && face_.TareWtEnabled) {
            // The operator is typing a tare: nothing from the line may replace the face.
            ComPort_->GetBlock(count);
            RxText.clear();
            return;
        }
        switch (kind) {
        case TriggerKind::TriggerAvail:
            onDataAvailable(count);
            break;
        case TriggerKind::TriggerData:
            if (!DebugTimer.enabled())
                onPattern(handle);
            break;
        case TriggerKind::TriggerTimer:
            onReplyTimeout();
            break;
        }
    } catch (const std::exception& e) {
        qCWarning(lcPoll) << "receive failed:" << e.what();
    }
}

namespace {
// Appends up to the first NUL, as the text buffer is a C string.
void appendText(QByteArray& text, const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    text += nul < 0 ? bytes : bytes.left(nul);
}
} // namespace

void FrontPanel::onDataAvailable(int n)
{
    while (n > OverflowLimit) {
        ComPort_->GetBlock(64);
        n -= 64;
        RxText.clear();
    }
    if (DebugTimer.enabled()) {
        const QByteArray bytes = ComPort_->GetBlock(n);
        if (RxText.size() + bytes.size() > RxTextCapacity)
            RxText.clear();
        appendText(RxText, bytes);
        if (RxText.contains(ctl(Ctl::CR)))
            DebugState = 3;
        return;
    }
    if (TransferState == 2)
        return; // the upload takes these bytes itself
    if (host_.editorVisible())
        return;

    appendText(RxText, ComPort_->GetBlock(n));
    const qsizetype eot = RxText.lastIndexOf(ctl(Ctl::EOT));
    if (eot < 0) {
        // Noise without a frame end: drop it rather than let the text grow without bound.
        if (RxText.size() > RxTextCapacity)
            RxText.clear();
        return;
    }
    if (eot >= FrameLength) {
        ReplyFrame = RxText.mid(eot - FrameLength, FrameLength);
        PollState = 3;
    }
    RxText.clear();
    PollTimer.start();
}

void FrontPanel::onPattern(quint16 handle)
{
    // The transfer's own replies; outside a transfer only an unasked "ready" matters.
    if (handle == AckTrigger) {
        if (TransferState == 1) {
            TransferReply = 2;
            TransferSemaphore.release();
            host_.showTransferStatus(QStringLiteral("KX7400 Acknowledgment Received!"), false);
        } else if (TransferState == 4) {
            TransferReply = 4;
            TransferSemaphore.release();
            host_.showTransferStatus(QStringLiteral("KX7400 Acknowledgment Received!"), false);
            host_.showTransferStatus(QStringLiteral("Download complete!"), true);
        }
        return;
    }
    if (handle == NakTrigger) {
        TransferReply = 1;
        TransferState = 0;
        TransferSemaphore.release();
        host_.showTransferStatus(QStringLiteral("KX7400 Abandoned Operation!"), true);
        return;
    }
    if (handle == ReadyTrigger) {
        if (TransferState == 4) {
            TransferReply = 1;
            TransferSemaphore.release();
            host_.showTransferStatus(QStringLiteral("KX7400 Aborted Action!"), false);
            host_.showTransferStatus(QStringLiteral("Download Failed!"), true);
            return;
        }
        PollState = 1;
        TransferReply = 3;
        host_.showTransferStatus(QStringLiteral("KX7400 Ready Response Received!"), false);
    }
}

void FrontPanel::onReplyTimeout()
{
    RxText.clear();
    if (DebugTimer.enabled()) {
        DebugState = 4;
        return;
    }
    PollState = 4;
    TransferState = 0;
    if (host_.editorVisible())
        host_.showTransferStatus(QStringLiteral("Timeout Occurred!"), true);
    else
        PollTimer.start();
}

void FrontPanel::ShowReplyFrame()
{
    static const char* const spinner[] = {"/", "-", "\\", "|"};
    try {
        SpinIndex = (SpinIndex + 1) % 4;
        face_.ConnectedLabel = QStringLiteral("Connected!  ") + QLatin1String(spinner[SpinIndex]);
        const QByteArray frame = ReplyFrame.leftJustified(FrameLength, ' ', true);
        face_.Weight = QString::fromLatin1(frame.left(7));
        KeepWeight = frame.at(7) == '_';
        const qsizetype point = face_.Weight.indexOf(QLatin1Char('.')) + 1;
        Decimals = point > 0 && point < face_.Weight.size() ? face_.Weight.size() - point : 0;
        const QByteArray units = frame.mid(8, 2).toUpper();
        const QByteArray mode = frame.mid(11, 2).toUpper();
        face_.gUnitsArrow = units.startsWith('G');
        face_.lbUnitsArrow = units == "LB";
        face_.kgUnitsArrow = units == "KG";
        face_.ozUnitsArrow = units == "OZ";
        face_.NetArrow = mode == "NT";
    } catch (const std::exception&) {
    }
    if (!face_.TareWtEnabled) {
        face_.TareWtVisible = false;
        face_.TareWtEnabled = true;
    }
    RxText.clear();
    changed();
    PendingCommandStep();
}

} // namespace kx
