#include "link/FrontPanel.h"

#include <QDir>
#include <QFileInfo>

namespace kx {

FrontPanel::FrontPanel(Clock& clock, std::unique_ptr<SerialDevice> mainPort, PortSettings& port,
                       FrontPanelHost& host, QObject* parent)
    : QObject(parent), PollTimer(clock, PollInterval.count()),
      ShutOffTimer(clock, ShutOffDelay.count()), ParameterTimer(clock, 100), DebugTimer(clock, 100),
      StateTimer(clock, 200), WatchdogTimer(clock, 1000), RetryTimer(clock, 2500), port_(port),
      host_(host), ComPort_(std::make_unique<SerialChannel>(clock, std::move(mainPort)))
{
    ComPort_->setResolver([this](int n) { return port_.mappedDevice(n); });
    ComPort_->setHandler([this](TriggerKind kind, quint16 handle, int count) {
        ComPortTrigger(kind, handle, count);
    });
    ComPort_->setLostHandler([this](const QString& reason) { onPortLost(reason); });
    PollTimer.setOnTimer([this] { PollTimerTimer(); });
    ShutOffTimer.setOnTimer([this] { ShutOffTimerTimer(); });
    ParameterTimer.setOnTimer([this] { ParameterTimerTimer(); });
}

FrontPanel::~FrontPanel() = default;

void FrontPanel::FormCreate()
{
    Connected = false;
    KeepWeight = false;
    InTrigger = false;
    PortSettingsLoaded = false;
    FirstActivation = true;
    FirstOpen = true;
    PollState = 0;
    ReplyWait = 0;
    MissedReplies = 0;
    TransferState = 0;
    TransferReply = 0;
    ReplyTimer = ReadyTrigger = AckTrigger = NakTrigger = 0;
    PendingKey = 0;
    PendingCommand.clear();
    SentCount = 0;
    RxText.clear();
}

void FrontPanel::FormActivate()
{
    if (!FirstActivation)
        return;
    FirstActivation = false;
    PollTimer.start();
}

void FrontPanel::OnOffButtonClick()
{
    face_.ShuttingDownPanel = true;
    ShutOffTimer.start();
    changed();
}

bool FrontPanel::FormCloseQuery()
{
    if (face_.ShuttingDownPanel)
        return true;
    face_.ShuttingDownPanel = true;
    face_.ProgressPanelVisible = false;
    ShutOffTimer.start();
    changed();
    return false;
}

void FrontPanel::ShutOffTimerTimer()
{
    ShutOffTimer.stop();
    if (ComPort_->IsOpen()) {
        try {
            ComPort_->FlushInBuffer();
            ComPort_->SetOpen(false);
        } catch (const ChannelError&) {
            // A port that cannot even be flushed is left as it is; the program ends anyway.
        }
    }
    host_.terminate();
}

void FrontPanel::ParameterTimerTimer()
{
    ParameterTimer.stop();
    try {
        host_.refreshEditorClock();
    } catch (const std::exception&) {
    }
    ParameterTimer.start();
}

void FrontPanel::FormClose()
{
    ShutOffTimer.stop();
    PollTimer.stop();
    if (!ComPort_->IsOpen())
        return;
    try {
        ComPort_->FlushInBuffer();
    } catch (const ChannelError&) {
    }
    try {
        ComPort_->SetOpen(false);
    } catch (const ChannelError&) {
    }
}

void FrontPanel::send(const QByteArray& bytes)
{
    ComPort_->PutString(bytes);
}

bool FrontPanel::noPrint() const
{
    return QFileInfo::exists(QDir(port_.folder()).filePath(QStringLiteral("NoPrint.cmd")));
}

void FrontPanel::pausePolling()
{
    PollTimer.setInterval(0);
}

void FrontPanel::resumePolling()
{
    PollTimer.setInterval(PollInterval.count());
}

void FrontPanel::onPortLost(const QString& reason)
{
    LastOpenError = QStringLiteral("%1: %2").arg(ComPort_->DevicePath(), reason);
    Connected = false;
    PollState = 0;
    RxText.clear();
    showDisconnected();
}

void FrontPanel::showDisconnected()
{
    face_.ConnectedLabel = QStringLiteral("Not Connected.");
    face_.Weight = QStringLiteral("------");
    // No indicator, so nothing it reported may stay lit.
    face_.NetArrow = face_.lbUnitsArrow = face_.gUnitsArrow = false;
    face_.kgUnitsArrow = face_.ozUnitsArrow = false;
    changed();
}

} // namespace kx
