#pragma once

#include "link/DebugMonitor.h"
#include "link/FaceModel.h"
#include "link/LineOwner.h"
#include "link/MainLink.h"
#include "link/PanelDialogs.h"
#include "link/PollCycle.h"
#include "link/PortSettings.h"
#include "link/ProtocolLog.h"
#include "link/Timer.h"
#include "session/BackupJob.h"
#include "session/EditorView.h"
#include "session/LineRetry.h"
#include "session/UpdateHandOver.h"
#include "session/WriteLog.h"
#include "transfer/TransferControl.h"

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

namespace kx {

namespace test {
struct FrontPanelFixture;
}

// One indicator's line, composed: the link that owns the main port, the engines that take
// turns with it (the poll cycle, the settings transfer, the debug monitor), the face, the
// backup before a write, the firmware update's hand-over and the protocol log. The main
// window and kxlink-cli both drive it; the window only draws faceState() and forwards clicks
// and keys.
class LineSession : public QObject,
                    private MainLinkListener,
                    private FaceHost,
                    private PollCycleListener,
                    private DebugMonitorListener
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds ShutOffDelay{4000};
    // Ticks a transfer waits after a debug capture, for the indicator's last answer.
    static constexpr int DebugSettleTicks = 10;

    LineSession(Clock& clock, std::unique_ptr<SerialDevice> mainPort, PortSettings& port,
                PanelDialogs& dialogs, EditorView& editor, QObject* parent = nullptr);
    ~LineSession() override;

    const FaceState& faceState() const { return face_.state(); }
    FaceModel& face() { return face_; }
    MainLink& link() { return link_; }
    const MainLink& link() const { return link_; }
    PortSettings& portSettings() { return port_; }

    // The engines, readable for the windows and for tests.
    const PollCycle& pollCycle() const { return poll_; }
    const TransferControl& transfer() const { return transfer_; }
    const DebugMonitor& debugMonitor() const { return debug_; }
    LineOwner lineOwner() const;
    // The firmware update's view of the line: it takes it by closing the main port.
    UpdateHost& updateHost() { return handOver_; }

    bool connected() const { return link_.connected(); }
    // The lost line is being opened again every few seconds.
    bool retryingLine() const { return retry_.retrying(); }
    const QString& lastOpenError() const { return link_.lastOpenError(); }
    bool opening() const { return link_.opening(); }
    // Set once the port settings dialog has read Port.Ini: the first tick may open.
    void setPortSettingsLoaded() { PortSettingsLoaded = true; }

    // Start-up and shutdown.
    void FormCreate();
    void FormActivate();
    void OnOffButtonClick();
    // The user asks to close the window: true when it may close now.
    bool FormCloseQuery();
    void ShutOffTimerTimer();
    void FormClose();

    // Opens the main port with the port settings; see MainLink::OpenComPort.
    using OpenDone = MainLink::OpenDone;
    void OpenComPort(OpenDone then = {});
    // The poll tick: the first open, then a step of the cycle.
    void PollTimerTimer();

    // The keys that are not the face's own.
    // The port settings dialog, then the reopen; then runs once the reopen has ended.
    void WeightDblClick(std::function<void()> then = {});
    void F1HelpButtonClick();
    void F3UpdateButtonClick();
    void F4OptionsButtonClick();
    // A key released on the main window (a Qt::Key); keypad when it came from the keypad.
    void FormKeyUp(int key, bool keypad = false);

    // The line for the parameter editor, or for kxlink-cli doing what the editor does:
    // polling pauses and the transfer has the line until it is given back. False (with the
    // error sound) when the line cannot be lent now.
    bool lendLineToTransfer();
    void takeLineFromTransfer();

    // The editor's debug button: the monitor takes the line from the transfer and gives it
    // back when it stops. Only while the transfer has the line.
    void startDebugMonitor();
    void stopDebugMonitor();
    // The editor's "START DEBUG" / "STOP DEBUG" button.
    void DebugAnyBusClick();

    // Upload or Download pressed: a running debug capture stops, and the indicator is given
    // time to finish its last answer. The editor asks this before its questions.
    void stopDebugForTransfer();
    // The editor's Upload and Download, once it has asked what it must: a running debug
    // capture is stopped first, then the entry handshake starts.
    void startTransfer(TransferDirection direction);
    // The compare window's read: an upload whose setup stays in memory (uploadLines()); no
    // Upload.Txt is written for it.
    void readSetupIntoMemory();
    // The compare window's "Send checked": a download of a setup built from the one just read.
    // The backup before it, when on, is that read, saved now; the setup is not read twice. False
    // with why when that backup could not be saved or the line is not the transfer's: nothing
    // was sent then.
    bool startDownloadAfterRead(const QList<QByteArray>& setupRead, QString* why);
    // The transfer panel's "Cancel".
    void cancelTransfer();
    const QList<QByteArray>& uploadLines() const { return transfer_.uploadLines(); }
    // Asked right before each byte of a transfer goes out: a stop (a signal) not yet
    // delivered as an event still keeps the next write from going.
    void setStopCheck(TransferControl::StopCheck check) { transfer_.setStopCheck(std::move(check)); }
    // Whether a download is read back and compared (Port.Ini's [Advanced] "Verify After
    // Write" can only turn it off).
    void setVerifyAfterWrite(bool on) { verify_ = on; }
    // Where LOGS/logbook.jsonl is kept: the program's folder (by default the port settings').
    void setLogbookFolder(const QString& folder) { logbookFolder_ = folder; }
    QString logbookPath() const;
    // Told when a write's logbook line could not be written (said on the panel as well).
    std::function<void()> onWriteNotLogged;
    // Records bytes on another port (the loader's) in the protocol log, while it is open.
    SerialChannel::Tap protocolTap();
    // The indicator's setup as read (and kept) before the next download, for its logbook line.
    void setSetupBeforeWrite(const QList<QByteArray>& lines, const QString& backupPath)
    {
        transfer_.setSetupBeforeWrite(lines, backupPath);
    }

    // A protocol log of every byte on the main port, appended to path; false with why when
    // the file cannot be opened. stopped is told once if the log stops by itself.
    bool startProtocolLog(const QString& path, QString* why,
                          std::function<void(const QString& failure)> stopped = {});
    void stopProtocolLog();
    // Ctrl+L: a dated log in the program's folder LOGS, or its stop; the face says which.
    void toggleProtocolLog();
    const ProtocolLog& protocolLog() const { return log_; }

    // Reads the indicator's setup through the transfer and saves it in SAVED/BACKUP; see
    // BackupJob. It returns at once; the keys that would take the line wait until it ends.
    void backUpIndicator(BackupJob::Done done);
    bool backingUp() const { return backup_.running(); }

    // The line a write goes over, as its logbook line and its backup's name give it.
    WriteLine writeLine() const;

signals:
    // An open has ended: connected or not, and if not, why.
    void openFinished(bool connected, const QString& why);
    // The face changed: redraw it.
    void faceChanged();
    // A reply frame reached the face, as decoded.
    void frameShown(const kx::DecodedFrame& frame);

private:
    friend struct test::FrontPanelFixture;
    friend class UpdateHandOver;

    // MainLinkListener
    void openEnded(bool connected, bool showFailure) override;
    void linkLost(const QString& reason) override;
    LineInput lineInput() const override;

    // FaceHost
    void beep() override { dialogs_.beep(); }
    void reconnect() override;
    bool printRefused() const override;
    bool lineConnected() const override { return link_.connected(); }
    void redraw() override { emit faceChanged(); }

    // PollCycleListener
    void ShowReplyFrame(const DecodedFrame& frame, const QString& connectedLabel) override;
    void blankWeight() override { face_.blankWeight(); }
    bool tareEntryOpen() const override { return face_.state().TareWtVisible; }

    // DebugMonitorListener: the editor's debug line, and the line back to the transfer.
    void showDebugLine(const QString& line) override { editor_.showDebugLine(line); }
    void debugStopped() override;
    void debugEnded(const DebugResult& result) override { editor_.debugEnded(result); }

    enum class RunKind
    {
        Plain,
        // A download after the indicator's setup was read and kept as the backup.
        AfterRead,
        // An upload read into memory only.
        IntoMemory
    };
    void startTransferRun(TransferDirection direction, RunKind kind);
    void beginTransfer(TransferDirection direction, RunKind kind);
    void cancelPendingStart();
    void giveLineTo(LineClient& owner);
    void resumePollingAfterTransfer();

    // What holds the line apart from its owner: a modal window or the backup. A second F2,
    // F4 or F3 meanwhile opens nothing.
    enum class Holder
    {
        None,
        PortSettings,
        Editor,
        Backup
    };

    Clock& clock_;
    PortSettings& port_;
    PanelDialogs& dialogs_;
    EditorView& editor_;
    MainLink link_;
    PollCycle poll_;
    FaceModel face_;
    TransferControl transfer_;
    DebugMonitor debug_;
    ProtocolLog log_;
    BackupJob backup_;
    UpdateHandOver handOver_;
    Timer ShutOffTimer;
    LineRetry retry_;

    bool FirstOpen = true;
    bool closing_ = false;
    bool FirstActivation = true;
    bool PortSettingsLoaded = false;
    Holder holder_ = Holder::None;
    // After a debug capture stops, the indicator finishes its last answer before a transfer
    // starts: until then a start waits on StartWait.
    qint64 SettleUntil = 0;
    Clock::TimerId StartWait = 0;
    bool verify_ = true;
    QString logbookFolder_;

    // Appends to the logbook; empty, or why it could not. note: what the logbook said beside.
    QString recordWrite(const LogbookEntry& entry, QString* note);
};

} // namespace kx
