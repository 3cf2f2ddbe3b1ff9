#include "link/FrontPanel.h"

#include "settings/IndicatorBackup.h"
#include "settings/SafeSave.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPanel, "kx.link.panel")

namespace kx {

FrontPanel::FrontPanel(Clock& clock, std::unique_ptr<SerialDevice> mainPort, PortSettings& port,
                       PanelDialogs& dialogs, EditorView& editor, QObject* parent)
    : QObject(parent), clock_(clock), port_(port), dialogs_(dialogs), editor_(editor),
      ComPort_(std::make_unique<SerialChannel>(clock, std::move(mainPort))),
      poll_(clock, *this, *this, [this] { PollTimerTimer(); }), transfer_(clock, *this, editor, port.folder()),
      debug_(clock, *this, *this), ShutOffTimer(clock, ShutOffDelay.count()),
      BackupTimer(clock, SerialChannel::Tick.count())
{
    ComPort_->setResolver([this](int n) { return port_.mappedDevice(n); });
    ComPort_->setHandler([this](TriggerKind kind, quint16 handle, int count) {
        ComPortTrigger(kind, handle, count);
    });
    ComPort_->setLostHandler([this](const QString& reason) { onPortLost(reason); });
    ShutOffTimer.setOnTimer([this] { ShutOffTimerTimer(); });
    BackupTimer.setOnTimer([this] { BackupTimerTimer(); });
}

FrontPanel::~FrontPanel()
{
    cancelOpenWait();
    cancelPendingStart();
}

void FrontPanel::FormCreate()
{
    Connected = false;
    PortSettingsLoaded = false;
    FirstActivation = true;
    FirstOpen = true;
    ReplyTimer = ReadyTrigger = AckTrigger = NakTrigger = 0;
    PendingKey = 0;
    PendingCommand.clear();
    SentCount = 0;
}

void FrontPanel::FormActivate()
{
    if (!FirstActivation)
        return;
    FirstActivation = false;
    poll_.pollTimer().start();
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
    abandonOpen();
    cancelPendingStart();
    if (ComPort_->IsOpen()) {
        // A port that cannot even be flushed is closed all the same; the program ends anyway.
        ComPort_->FlushInBuffer();
        ComPort_->SetOpen(false);
    }
    dialogs_.terminate();
}

void FrontPanel::FormClose()
{
    ShutOffTimer.stop();
    poll_.pollTimer().stop();
    abandonOpen();
    cancelPendingStart();
    if (!ComPort_->IsOpen())
        return;
    ComPort_->FlushInBuffer();
    ComPort_->SetOpen(false);
}

void FrontPanel::F4OptionsButtonClick()
{
    if (InModalWindow)
        return;
    // The editor would talk over a main port the update has closed, or one not open yet.
    if (UpdateHoldsLine || opening()) {
        dialogs_.beep();
        return;
    }
    const BusyFlag busy(InModalWindow);
    poll_.pausePolling();
    transfer_.editorOpened();
    owner_ = LineOwner::SettingsTransfer;
    try {
        editor_.showParameterEditor();
    } catch (const std::exception& e) {
        qCWarning(lcPanel) << "parameter editor failed:" << e.what();
    }
    debug_.stop(Outcome::Cancelled);
    cancelPendingStart();
    transfer_.editorClosed();
    owner_ = LineOwner::Polling;
    poll_.restart();
    poll_.resumePolling();
}

void FrontPanel::startDebugMonitor()
{
    if (owner_ != LineOwner::SettingsTransfer)
        return;
    owner_ = LineOwner::DebugMonitor;
    editor_.showDebugRunning(true);
    debug_.start();
}

void FrontPanel::stopDebugMonitor()
{
    if (owner_ != LineOwner::DebugMonitor)
        return;
    debug_.stop();
    owner_ = LineOwner::SettingsTransfer;
    editor_.showDebugRunning(false);
}

void FrontPanel::DebugAnyBusClick()
{
    if (owner_ == LineOwner::DebugMonitor)
        stopDebugMonitor();
    else
        startDebugMonitor();
}

void FrontPanel::stopDebugForTransfer()
{
    if (owner_ != LineOwner::DebugMonitor)
        return;
    stopDebugMonitor();
    // The indicator finishes its last debug answer before the handshake.
    const qint64 now = clock_.nowMs();
    SettleUntil = SerialChannel::tickDeadline(now, DebugSettleTicks);
}

void FrontPanel::startTransfer(TransferDirection direction)
{
    stopDebugForTransfer();
    if (owner_ != LineOwner::SettingsTransfer)
        return;
    // A second Upload or Download while the first waits replaces it.
    cancelPendingStart();
    const qint64 now = clock_.nowMs();
    if (now < SettleUntil) {
        StartWait = clock_.startTimer(SettleUntil - now, [this, direction] {
            StartWait = 0;
            beginTransfer(direction);
        });
        return;
    }
    beginTransfer(direction);
}

void FrontPanel::cancelPendingStart()
{
    if (StartWait != 0)
        clock_.cancelTimer(StartWait);
    StartWait = 0;
}

void FrontPanel::beginTransfer(TransferDirection direction)
{
    if (owner_ != LineOwner::SettingsTransfer)
        return;
    TransferControl::PortFacts facts;
    facts.portNumber = ComPort_->ComNumber();
    // What the editor offers, read from Port.Ini when it was shown: the download carries the
    // second output exactly when the editor shows it.
    facts.secondOutput = editor_.transferInputs().secondOutput;
    facts.uploadRecords = port_.AppVersion == 1 ? 8 : 10;
    facts.baud = ComPort_->Baud();
    if (direction == TransferDirection::Download && port_.BackupBeforeWrite)
        facts.backupFolder = QDir(port_.folder()).filePath(QStringLiteral("SAVED/BACKUP"));
    transfer_.start(direction, facts);
}

void FrontPanel::toggleProtocolLog()
{
    if (log_.isOpen()) {
        log_.close();
        ComPort_->setTap({});
        face_.LogStatus.clear();
        changed();
        return;
    }
    const QString name = QStringLiteral("LOGS/kxlink_%1.log")
                             .arg(QDateTime::currentDateTime().toString(
                                 QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    QString why;
    if (!log_.open(QDir(port_.folder()).filePath(name), &why)) {
        face_.LogStatus = QStringLiteral("No log: %1").arg(why);
        changed();
        return;
    }
    ComPort_->setTap([this](LineDirection direction, const QByteArray& bytes) {
        if (!log_.isOpen())
            return;
        log_.record(direction, bytes);
        if (!log_.isOpen()) {
            // The disk filled or the file went: the log stops, polling does not.
            face_.LogStatus = QStringLiteral("Log stopped: %1").arg(log_.failure());
            changed();
        }
    });
    face_.LogStatus = QStringLiteral("Protocol log on: %1 (Ctrl+L stops it)").arg(name);
    changed();
}

void FrontPanel::backUpIndicator(BackupDone done)
{
    // The port dialog, the editor and F3 stay shut while the backup has the line, as they
    // would behind a modal window.
    InModalWindow = true;
    backupDone_ = std::move(done);
    // The transfer gets the line as it does while the editor is open, and gives it back.
    poll_.pausePolling();
    transfer_.editorOpened();
    owner_ = LineOwner::SettingsTransfer;
    TransferControl::PortFacts facts;
    facts.portNumber = ComPort_->ComNumber();
    facts.secondOutput = port_.CustomOutputs == 2;
    facts.uploadRecords = port_.AppVersion == 1 ? 8 : 10;
    transfer_.start(TransferDirection::Upload, facts);
    BackupTicks = 0;
    BackupTimer.start();
}

void FrontPanel::BackupTimerTimer()
{
    // The entry wait alone may take 20 s; the upload follows within seconds.
    if (++BackupTicks < BackupWaitTicks && (transfer_.running() || transfer_.waitingForEntry()))
        return;
    BackupTimer.stop();
    const bool complete = transfer_.lastUploadComplete();
    transfer_.editorClosed();
    owner_ = LineOwner::Polling;
    poll_.restart();
    poll_.resumePolling();
    InModalWindow = false;
    QString why;
    QString path;
    if (!complete) {
        why = QStringLiteral("The KX7400 did not send its setup.");
    } else {
        path = saveIndicatorBackup(QDir(port_.folder()).filePath(QStringLiteral("SAVED/BACKUP")),
                                   transfer_.uploadLines(), QDateTime::currentDateTime(), &why)
                   .value_or(QString());
    }
    BackupDone done = std::move(backupDone_);
    backupDone_ = {};
    // A program on its way out starts nothing more.
    if (done && !face_.ShuttingDownPanel)
        done(path, why);
}

void FrontPanel::cancelTransfer()
{
    cancelPendingStart();
    transfer_.cancel();
}

void FrontPanel::debugStopped()
{
    owner_ = LineOwner::SettingsTransfer;
    editor_.showDebugRunning(false);
}

void FrontPanel::ShowReplyFrame(const DecodedFrame& frame, const QString& connectedLabel)
{
    face_.ConnectedLabel = connectedLabel;
    face_.Weight = frame.weight;
    face_.gUnitsArrow = frame.units == FrameUnits::Grams;
    face_.lbUnitsArrow = frame.units == FrameUnits::Pounds;
    face_.kgUnitsArrow = frame.units == FrameUnits::Kilograms;
    face_.ozUnitsArrow = frame.units == FrameUnits::Ounces;
    face_.NetArrow = frame.net;
    if (!face_.TareWtEnabled) {
        face_.TareWtVisible = false;
        face_.TareWtEnabled = true;
    }
    changed();
    emit frameShown(frame);
    PendingCommandStep();
    if (!poll_.demandMode())
        transfer_.continuousFrameShown();
}

void FrontPanel::blankWeight()
{
    face_.Weight = QStringLiteral("------");
    changed();
}

bool FrontPanel::noPrint() const
{
    return QFileInfo::exists(QDir(port_.folder()).filePath(QStringLiteral("NoPrint.cmd")));
}

void FrontPanel::onPortLost(const QString& reason)
{
    LastOpenError = QStringLiteral("%1: %2").arg(ComPort_->DevicePath(), reason);
    Connected = false;
    poll_.lineLost();
    // An exchange under way ends now, not at a time-out.
    debug_.lineLost(LastOpenError);
    transfer_.lineLost(LastOpenError);
    showDisconnected();
}

void FrontPanel::showDisconnected()
{
    face_.ConnectedLabel = QStringLiteral("Not Connected.");
    face_.Weight = QStringLiteral("------");
    face_.lbUnitsArrow = false;
    face_.gUnitsArrow = false;
    face_.kgUnitsArrow = false;
    face_.ozUnitsArrow = false;
    face_.NetArrow = false;
    changed();
}

} // namespace kx
