#include "session/LineSession.h"

#include "settings/IndicatorBackup.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSession, "kx.session")

namespace kx {

LineSession::LineSession(Clock& clock, std::unique_ptr<SerialDevice> mainPort, PortSettings& port,
                         PanelDialogs& dialogs, EditorView& editor, QObject* parent)
    : QObject(parent), clock_(clock), port_(port), dialogs_(dialogs), editor_(editor),
      link_(clock, std::move(mainPort), port, *this),
      poll_(clock, link_, *this, [this] { PollTimerTimer(); }), face_(link_, poll_, *this),
      transfer_(clock, link_, editor, port.folder()), debug_(clock, link_, *this),
      backup_(clock, transfer_, port.folder()), handOver_(link_, poll_, face_, port),
      ShutOffTimer(clock, ShutOffDelay.count()),
      retry_(
          clock,
          [this] {
              const FaceState& face = face_.state();
              return !link_.connected() && !link_.opening() && holder_ == Holder::None &&
                     lineOwner() == LineOwner::Polling && !handOver_.holdsLine() && !closing_ &&
                     !face.ShuttingDownPanel && face.WeighPanelEnabled;
          },
          [this] { OpenComPort([this](bool connected) { retry_.opened(connected); }); })
{
    link_.setOwner(&poll_);
    connect(&link_, &MainLink::openFinished, this, &LineSession::openFinished);
    // Every write that reached the indicator goes into the logbook, whatever came of it.
    transfer_.setWriteRecorder([this](TransferResult& r) {
        r.notLogged =
            recordWrite(downloadEntry(r, writeLine(), clock_.localDateTime()), &r.logbookNote);
    });
    handOver_.onWrote = [this](const UpdateEnd& end, const QString& file, const QByteArray& sha) {
        QString note;
        const QString why =
            recordWrite(updateEntry(end, file, sha, writeLine(), clock_.localDateTime()), &note);
        if (!note.isEmpty())
            dialogs_.showWarning(QStringLiteral("Logbook"), note);
        if (!why.isEmpty())
            dialogs_.showWarning(QStringLiteral("Logbook"), why);
    };
    ShutOffTimer.setOnTimer([this] { ShutOffTimerTimer(); });
}

LineSession::~LineSession()
{
    cancelPendingStart();
    // The link outlives the engines and the log it would hand bytes to.
    link_.setOwner(nullptr);
    link_.ComPort().setTap({});
}

LineOwner LineSession::lineOwner() const
{
    const LineClient* owner = link_.owner();
    if (owner == &transfer_)
        return LineOwner::SettingsTransfer;
    if (owner == &debug_)
        return LineOwner::DebugMonitor;
    return LineOwner::Polling;
}

void LineSession::FormCreate()
{
    PortSettingsLoaded = false;
    FirstActivation = true;
    FirstOpen = true;
    face_.reset();
}

void LineSession::FormActivate()
{
    if (!FirstActivation)
        return;
    FirstActivation = false;
    poll_.pollTimer().start();
}

void LineSession::OnOffButtonClick()
{
    link_.windDown();
    face_.showShuttingDown(false);
    ShutOffTimer.start();
}

bool LineSession::FormCloseQuery()
{
    if (face_.state().ShuttingDownPanel)
        return true;
    link_.windDown();
    face_.showShuttingDown(true);
    ShutOffTimer.start();
    return false;
}

void LineSession::ShutOffTimerTimer()
{
    ShutOffTimer.stop();
    retry_.stop();
    link_.abandonOpen();
    cancelPendingStart();
    // The program ends anyway: a port that cannot be flushed is closed all the same.
    link_.close();
    dialogs_.terminate();
}

void LineSession::FormClose()
{
    // The open given up below tells its waiters it failed; a closing window asks nothing.
    closing_ = true;
    ShutOffTimer.stop();
    retry_.stop();
    poll_.pollTimer().stop();
    link_.abandonOpen();
    cancelPendingStart();
    link_.close();
}

void LineSession::OpenComPort(OpenDone then)
{
    link_.OpenComPort(std::move(then));
}

void LineSession::openEnded(bool connected, bool showFailure)
{
    poll_.setDemandMode(port_.portMode() == 1);
    if (connected) {
        retry_.stop();
        face_.setLineStatus({});
        return;
    }
    // The face says so before any box: a weight left standing behind it would look live.
    face_.showDisconnected();
    // A try after a lost line that found no device yet is no news; the face says it goes on.
    if (retry_.trying())
        return;
    if (showFailure) {
        face_.setLineStatus(QStringLiteral("Not connected: %1").arg(link_.lastOpenError()));
        dialogs_.showPortError(QStringLiteral("Communications Port Failed"), link_.lastOpenError());
    }
}

void LineSession::linkLost(const QString& reason)
{
    poll_.lineLost();
    face_.showDisconnected();
    face_.setLineStatus(QStringLiteral("Line lost: %1. Trying again every %2 s.")
                            .arg(reason)
                            .arg(LineRetry::RetryInterval.count() / 1000));
    // An exchange under way ends now, not at a time-out.
    debug_.lineLost(reason);
    transfer_.lineLost(reason);
    if (!closing_ && !face_.state().ShuttingDownPanel)
        retry_.lineLost();
}

void LineSession::reconnect()
{
    // The key needs the line: the port settings open, and the face says why.
    const QString why =
        link_.lastOpenError().isEmpty() ? QStringLiteral("no port is open") : link_.lastOpenError();
    face_.setLineStatus(
        QStringLiteral("Not connected (%1): the key needs the line, so the port settings opened.")
            .arg(why));
    WeightDblClick();
}

LineInput LineSession::lineInput() const
{
    if (face_.state().ShuttingDownPanel && poll_.state() != PollState::FrameReady)
        return LineInput::Hold;
    return face_.typingTare() ? LineInput::Drop : LineInput::Pass;
}

void LineSession::PollTimerTimer()
{
    Timer& timer = poll_.pollTimer();
    timer.stop();
    const FaceState& face = face_.state();
    if (!face.WeighPanelEnabled)
        return;
    if (face.ShuttingDownPanel) {
        if (link_.connected())
            link_.armReplyTimer(false, 0);
        return;
    }
    if (!link_.connected() && PortSettingsLoaded && FirstOpen) {
        FirstOpen = false;
        // The cycle goes on when the open, and the dialog after a failed one, have ended.
        const auto afterOpen = [this] {
            // A Port.Ini that could not be read selects no port; the user is told why.
            if (link_.ComPort().ComNumber() == 0)
                dialogs_.showPortError(QStringLiteral("No Communications Port Selected"),
                                       port_.loadFailure());
            if (link_.connected())
                poll_.step();
            poll_.pollTimer().start();
        };
        OpenComPort([this, afterOpen](bool connected) {
            // A program on its way out shows no dialog.
            if (face_.state().ShuttingDownPanel || closing_)
                return;
            if (connected)
                afterOpen();
            else
                WeightDblClick(afterOpen);
        });
        return;
    }
    if (link_.connected())
        poll_.step();
    timer.start();
}

void LineSession::ShowReplyFrame(const DecodedFrame& frame, const QString& connectedLabel)
{
    face_.showFrame(frame, connectedLabel);
    emit frameShown(frame);
    face_.PendingCommandStep();
    if (!poll_.demandMode())
        transfer_.continuousFrameShown();
}

bool LineSession::printRefused() const
{
    return QFileInfo::exists(QDir(port_.folder()).filePath(QStringLiteral("NoPrint.cmd")));
}

void LineSession::WeightDblClick(std::function<void()> then)
{
    // The port settings would reopen the main port on the device the loader port holds.
    if (handOver_.holdsLine()) {
        dialogs_.beep();
        if (then)
            then();
        return;
    }
    // The dialog is modal: a second F2 or key click while it is open opens no second one;
    // nor does a line lent to the transfer get reopened under it.
    if (holder_ != Holder::None || lineOwner() != LineOwner::Polling) {
        if (then)
            then();
        return;
    }
    // The user chooses the port now: his open is told as it ends, and no try of ours runs
    // under the dialog.
    retry_.stop();
    poll_.pausePolling();
    bool shown = false;
    holder_ = Holder::PortSettings;
    try {
        dialogs_.showPortSettings();
        shown = true;
    } catch (const std::exception& e) {
        qCWarning(lcSession) << "port settings failed:" << e.what();
    }
    holder_ = Holder::None;
    const auto resume = [this, then = std::move(then)](bool) {
        poll_.resumePolling();
        if (then)
            then();
    };
    if (shown)
        OpenComPort(resume);
    else
        resume(false);
}

void LineSession::F1HelpButtonClick()
{
    dialogs_.showAbout();
}

void LineSession::F3UpdateButtonClick()
{
    if (holder_ != Holder::None || lineOwner() != LineOwner::Polling)
        return;
    // The update would take a line that is being opened.
    if (link_.opening()) {
        dialogs_.beep();
        return;
    }
    // F3 during an update chooses the file again; the setup was saved before the first one,
    // and the main port is closed now.
    if (port_.BackupBeforeWrite && !handOver_.holdsLine()) {
        backUpIndicator([this](const QString& saved, const QString& why) {
            if (saved.isEmpty()) {
                dialogs_.showWarning(QStringLiteral("Backup Failed"),
                                     QStringLiteral("The indicator's setup could not be saved "
                                                    "before the update, so the update was not "
                                                    "started.\n%1")
                                         .arg(why));
                return;
            }
            dialogs_.showFirmwareUpdate();
        });
        return;
    }
    dialogs_.showFirmwareUpdate();
}

void LineSession::F4OptionsButtonClick()
{
    if (holder_ != Holder::None)
        return;
    if (!lendLineToTransfer())
        return;
    holder_ = Holder::Editor;
    try {
        editor_.showParameterEditor();
    } catch (const std::exception& e) {
        qCWarning(lcSession) << "parameter editor failed:" << e.what();
    }
    holder_ = Holder::None;
    takeLineFromTransfer();
}

void LineSession::FormKeyUp(int key, bool keypad)
{
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        face_.ButtonLeftClick();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        face_.ButtonEnterClick();
        break;
    case Qt::Key_Period:
        face_.TareNumberClick(FaceModel::PointCode);
        break;
    case Qt::Key_Comma: // the keypad's decimal key on keyboards that write a comma
        if (keypad)
            face_.TareNumberClick(FaceModel::PointCode);
        break;
    case Qt::Key_F1:
        F1HelpButtonClick();
        break;
    case Qt::Key_F2:
        WeightDblClick();
        break;
    case Qt::Key_F3:
        F3UpdateButtonClick();
        break;
    case Qt::Key_F4:
        F4OptionsButtonClick();
        break;
    default:
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            face_.TareNumberClick(FaceModel::DigitCode + (key - Qt::Key_0));
        break;
    }
}

void LineSession::giveLineTo(LineClient& owner)
{
    link_.setOwner(&owner);
}

bool LineSession::lendLineToTransfer()
{
    // The transfer would talk over a main port the update has closed, or one not open yet.
    if (handOver_.holdsLine() || link_.opening() || lineOwner() != LineOwner::Polling) {
        dialogs_.beep();
        return false;
    }
    poll_.pausePolling();
    transfer_.editorOpened();
    giveLineTo(transfer_);
    return true;
}

void LineSession::takeLineFromTransfer()
{
    if (lineOwner() == LineOwner::Polling)
        return;
    debug_.stop(Outcome::Cancelled);
    cancelPendingStart();
    transfer_.editorClosed();
    giveLineTo(poll_);
    poll_.restart();
    poll_.resumePolling();
}

void LineSession::startDebugMonitor()
{
    if (lineOwner() != LineOwner::SettingsTransfer || holder_ == Holder::Backup)
        return;
    giveLineTo(debug_);
    editor_.showDebugRunning(true);
    debug_.start();
}

void LineSession::stopDebugMonitor()
{
    if (lineOwner() != LineOwner::DebugMonitor)
        return;
    debug_.stop();
    giveLineTo(transfer_);
    editor_.showDebugRunning(false);
}

void LineSession::DebugAnyBusClick()
{
    if (lineOwner() == LineOwner::DebugMonitor)
        stopDebugMonitor();
    else
        startDebugMonitor();
}

void LineSession::debugStopped()
{
    giveLineTo(transfer_);
    editor_.showDebugRunning(false);
}

void LineSession::stopDebugForTransfer()
{
    if (lineOwner() != LineOwner::DebugMonitor)
        return;
    stopDebugMonitor();
    // The indicator finishes its last debug answer before the handshake.
    const qint64 now = clock_.nowMs();
    SettleUntil = SerialChannel::tickDeadline(now, DebugSettleTicks);
}

void LineSession::startTransfer(TransferDirection direction)
{
    startTransferRun(direction, RunKind::Plain);
}

void LineSession::readSetupIntoMemory()
{
    startTransferRun(TransferDirection::Upload, RunKind::IntoMemory);
}

bool LineSession::startDownloadAfterRead(const QList<QByteArray>& setupRead, QString* why)
{
    stopDebugForTransfer();
    if (lineOwner() != LineOwner::SettingsTransfer || holder_ == Holder::Backup) {
        if (why)
            *why = QStringLiteral("The line is busy.");
        return false;
    }
    QString backup;
    if (port_.BackupBeforeWrite) {
        const auto saved =
            saveIndicatorBackup(QDir(port_.folder()).filePath(QStringLiteral("SAVED/BACKUP")),
                                setupRead, clock_.localDateTime(),
                                backupTagOf(link_.ComPort().ComNumber()), why);
        if (!saved)
            return false;
        backup = *saved;
    }
    transfer_.setSetupBeforeWrite(setupRead, backup);
    startTransferRun(TransferDirection::Download, RunKind::AfterRead);
    return true;
}

void LineSession::startTransferRun(TransferDirection direction, RunKind kind)
{
    stopDebugForTransfer();
    if (lineOwner() != LineOwner::SettingsTransfer || holder_ == Holder::Backup)
        return;
    // A second Upload or Download while the first waits replaces it.
    cancelPendingStart();
    const qint64 now = clock_.nowMs();
    if (now < SettleUntil) {
        StartWait = clock_.startTimer(SettleUntil - now, [this, direction, kind] {
            StartWait = 0;
            beginTransfer(direction, kind);
        });
        return;
    }
    beginTransfer(direction, kind);
}

void LineSession::cancelPendingStart()
{
    if (StartWait != 0)
        clock_.cancelTimer(StartWait);
    StartWait = 0;
}

void LineSession::beginTransfer(TransferDirection direction, RunKind kind)
{
    if (lineOwner() != LineOwner::SettingsTransfer)
        return;
    if (direction == TransferDirection::Download) {
        // No write without its line in the logbook: one that cannot take a line stops the
        // download before a byte goes out.
        if (const QString no = logbook::refusal(logbookPath()); !no.isEmpty()) {
            dialogs_.showWarning(QStringLiteral("Logbook"), no);
            return;
        }
    }
    const SerialChannel& port = link_.ComPort();
    TransferControl::PortFacts facts;
    facts.portNumber = port.ComNumber();
    // What the editor offers, read from Port.Ini when it was shown: the download carries the
    // second output exactly when the editor shows it.
    facts.secondOutput = editor_.transferInputs().secondOutput;
    facts.uploadRecords = port_.AppVersion == 1 ? 8 : 10;
    facts.baud = port.Baud();
    facts.verify = port_.VerifyAfterWrite && verify_;
    facts.partial = kind == RunKind::AfterRead;
    facts.inMemory = kind == RunKind::IntoMemory;
    if (direction == TransferDirection::Download && port_.BackupBeforeWrite
        && kind != RunKind::AfterRead) {
        facts.backupFolder = QDir(port_.folder()).filePath(QStringLiteral("SAVED/BACKUP"));
        facts.backupTag = backupTagOf(facts.portNumber);
    }
    transfer_.start(direction, facts);
}

void LineSession::cancelTransfer()
{
    cancelPendingStart();
    transfer_.cancel();
}

bool LineSession::startProtocolLog(const QString& path, QString* why,
                                   std::function<void(const QString&)> stopped)
{
    stopProtocolLog();
    if (!log_.open(path, why))
        return false;
    log_.onFailure = std::move(stopped);
    link_.ComPort().setTap([this](LineDirection direction, const QByteArray& bytes) {
        // A log that stopped (a full disk, the file gone) stays stopped; polling goes on.
        if (log_.isOpen())
            log_.record(direction, bytes);
    });
    return true;
}

WriteLine LineSession::writeLine() const
{
    WriteLine line;
    line.port = link_.ComPort().ComNumber();
    line.device = port_.devicePathFor(line.port);
    line.secondOutput = port_.CustomOutputs == 2;
    return line;
}

QString LineSession::logbookPath() const
{
    return logbook::pathIn(logbookFolder_.isEmpty() ? port_.folder() : logbookFolder_);
}

QString LineSession::recordWrite(const LogbookEntry& entry, QString* note)
{
    QString why;
    if (logbook::append(logbookPath(), entry, &why, note))
        return {};
    if (onWriteNotLogged)
        onWriteNotLogged();
    return QStringLiteral("The write is not in the logbook: %1").arg(why);
}

SerialChannel::Tap LineSession::protocolTap()
{
    return [this](LineDirection direction, const QByteArray& bytes) {
        if (log_.isOpen())
            log_.record(direction, bytes);
    };
}

void LineSession::stopProtocolLog()
{
    link_.ComPort().setTap({});
    log_.onFailure = {};
    log_.close();
}

void LineSession::toggleProtocolLog()
{
    if (log_.isOpen()) {
        stopProtocolLog();
        face_.setLogStatus({});
        return;
    }
    const QString name = QStringLiteral("LOGS/kxlink_%1.log")
                             .arg(QDateTime::currentDateTime().toString(
                                 QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    QString why;
    const bool started =
        startProtocolLog(QDir(port_.folder()).filePath(name), &why, [this](const QString& failure) {
            face_.setLogStatus(QStringLiteral("Log stopped: %1").arg(failure));
        });
    face_.setLogStatus(started ? QStringLiteral("Protocol log on: %1 (Ctrl+L stops it)").arg(name)
                               : QStringLiteral("No log: %1").arg(why));
}

void LineSession::backUpIndicator(BackupJob::Done done)
{
    // The port dialog, the editor and F3 stay shut while the backup has the line, as they
    // would behind a modal window.
    if (holder_ != Holder::None || !lendLineToTransfer()) {
        if (done)
            done({}, QStringLiteral("The line is busy."));
        return;
    }
    holder_ = Holder::Backup;
    TransferControl::PortFacts facts;
    facts.portNumber = link_.ComPort().ComNumber();
    facts.secondOutput = port_.CustomOutputs == 2;
    facts.uploadRecords = port_.AppVersion == 1 ? 8 : 10;
    backup_.start(
        facts,
        [this] {
            holder_ = Holder::None;
            takeLineFromTransfer();
        },
        [this, done = std::move(done)](const QString& path, const QString& why) {
            // A program on its way out starts nothing more.
            if (done && !face_.state().ShuttingDownPanel)
                done(path, why);
        });
}

} // namespace kx
