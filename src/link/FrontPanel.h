#pragma once

#include "firmware/UpdateHost.h"
#include "link/DebugMonitor.h"
#include "link/FaceState.h"
#include "link/LineOwner.h"
#include "link/MainLine.h"
#include "link/PanelDialogs.h"
#include "link/PollCycle.h"
#include "link/PortSettings.h"
#include "link/ProtocolLog.h"
#include "link/SerialChannel.h"
#include "link/Timer.h"
#include "transfer/TransferControl.h"

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace kx {

namespace test {
struct FrontPanelFixture;
}

// The remote front panel: the main port with its receive dispatcher, the face with its keys
// and tare entry, and the four-second shutdown. It owns the engines that use the main port
// (the poll cycle, the settings transfer, the debug monitor), hands the line to one of them at
// a time and routes every notification to that one. The main window only draws faceState()
// and forwards clicks and keys.
class FrontPanel : public QObject,
                   private MainLine,
                   private PollCycleListener,
                   private DebugMonitorListener,
                   private UpdateHost
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds ShutOffDelay{4000};
    // Frames shown before "Command Sent!" goes again.
    static constexpr int CommandSentFrames = 10;
    // Ticks the open waits before trying, and between its two attempts.
    static constexpr int SettleTicks = 1;
    static constexpr int RetryTicks = 10;
    static constexpr int OpenAttempts = 2;
    static constexpr int DebugSettleTicks = 10;
    static constexpr int BackupWaitTicks = 600;

    // Tags of the five keys and codes of the tare entry keys.
    enum Tag
    {
        UnitsTag = 1000,
        ZeroTag,
        NetTag,
        AutoTareTag,
        PrintTag
    };
    enum
    {
        DigitCode = 2000,
        PointCode = 2010
    };

    FrontPanel(Clock& clock, std::unique_ptr<SerialDevice> mainPort, PortSettings& port,
               PanelDialogs& dialogs, EditorView& editor, QObject* parent = nullptr);
    ~FrontPanel() override;

    const FaceState& faceState() const { return face_; }
    SerialChannel& ComPort() { return *ComPort_; }
    const SerialChannel& ComPort() const { return *ComPort_; }
    PortSettings& portSettings() { return port_; }

    // The engines, readable for the windows and for tests.
    const PollCycle& pollCycle() const { return poll_; }
    const TransferControl& transfer() const { return transfer_; }
    const DebugMonitor& debugMonitor() const { return debug_; }
    LineOwner lineOwner() const { return owner_; }
    // The firmware update's view of the panel: it takes the line by closing the main port.
    UpdateHost& updateHost() { return *this; }

    // The link state.
    bool connected() const { return Connected; }
    // Why the last open failed, in words a user can act on.
    const QString& lastOpenError() const { return LastOpenError; }
    char pendingKey() const { return PendingKey; }
    const QByteArray& pendingCommand() const { return PendingCommand; }
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

    // The main port and the poll cycle's lifecycle. The open closes the port and returns at
    // once; it settles, tries, waits and tries again on the clock, and ends with
    // openFinished, after calling then with whether the port is connected.
    using OpenDone = std::function<void(bool connected)>;
    void OpenComPort(OpenDone then = {});
    // An open has been asked for and has not ended yet.
    bool opening() const { return OpenPhase_ != OpenPhase::Idle; }
    void PollTimerTimer();
    void ComPortTrigger(TriggerKind kind, quint16 handle, int count);

    // Keys.
    void CommandClick(int tag);
    void TareNumberClick(int code);
    void ButtonLeftClick();
    void ButtonEnterClick();
    // The port settings dialog, then the reopen; then runs once the reopen has ended.
    void WeightDblClick(std::function<void()> then = {});
    void F1HelpButtonClick();
    void F3UpdateButtonClick();
    void F4OptionsButtonClick();
    // A key released on the main window (a Qt::Key); keypad when it came from the keypad.
    void FormKeyUp(int key, bool keypad = false);

    // The editor's debug button: the monitor takes the line from the transfer and gives it
    // back when it stops. Only while the editor is open.
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
    // Ctrl+L: starts a protocol log of every byte on the main port (a dated file in the
    // program's folder LOGS) or stops it; the face says which.
    void toggleProtocolLog();
    const ProtocolLog& protocolLog() const { return log_; }

    // Reads the indicator's setup through the transfer, as the editor would, and saves it as
    // SAVED/BACKUP/<date>_<time>.dat; then calls done with the saved path, or an empty one and
    // why. It returns at once: the upload runs on the clock, and the keys that would take the
    // line wait until it has ended.
    using BackupDone = std::function<void(const QString& path, const QString& why)>;
    void backUpIndicator(BackupDone done);
    bool backingUp() const { return BackupTimer.enabled(); }

    // The transfer panel's "Cancel".
    void cancelTransfer();
    const QList<QByteArray>& uploadLines() const { return transfer_.uploadLines(); }

signals:
    // An open has ended: connected or not, and if not, why.
    void openFinished(bool connected, const QString& why);
    // The face changed: redraw it.
    void faceChanged();
    // A reply frame reached the face, as decoded.
    void frameShown(const kx::DecodedFrame& frame);

private:
    friend struct test::FrontPanelFixture;

    // MainLine: the engines' view of the port.
    bool isOpen() const override { return ComPort_->IsOpen(); }
    bool send(const QByteArray& bytes) override { return ComPort_->PutString(bytes); }
    QByteArray take(int count) override { return ComPort_->GetBlock(count); }
    bool discardInput() override { return ComPort_->FlushInBuffer(); }
    QString failure() const override { return ComPort_->lastFailure(); }
    void armReplyTimer(bool arm, int ticks) override;

    // PollCycleListener: the face.
    void ShowReplyFrame(const DecodedFrame& frame, const QString& connectedLabel) override;
    void blankWeight() override;
    bool tareEntryOpen() const override { return face_.TareWtVisible; }

    // DebugMonitorListener: the editor's debug line, and the line back to the transfer.
    void showDebugLine(const QString& line) override { editor_.showDebugLine(line); }
    void debugStopped() override;
    void debugEnded(const DebugResult& result) override { editor_.debugEnded(result); }

    // UpdateHost: the firmware update's hand-over.
    void takeLineForUpdate() override;
    const SerialChannel& mainPort() const override { return *ComPort_; }
    QString deviceFor(int port) const override;
    void disableFace() override;
    void giveLineBack() override;
    void showUpdatePanel(bool shown, bool closeShown) override;
    bool shuttingDown() const override { return face_.ShuttingDownPanel; }

    enum class OpenPhase
    {
        Idle,
        Settling,
        Attempting,
        RetryWait
    };
    void waitTicks(int ticks, std::function<void()> next);
    void cancelOpenWait();
    // A close request or the update's hand-over ends a waiting open, not connected.
    void abandonOpen();
    void applyLineSettings();
    void tryOpen();
    void openTried();
    void finishOpen(bool connected, bool showFailure);
    void beginTransfer(TransferDirection direction);
    void cancelPendingStart();

    void dispatch(TriggerKind kind, quint16 handle, int count);
    void removeTriggers();
    bool createTriggers();
    void PendingCommandStep();
    void BackupTimerTimer();
    void onPortLost(const QString& reason);
    void showDisconnected();
    bool noPrint() const;
    void changed() { emit faceChanged(); }

    // Sets a busy flag for the length of a scope, however the scope is left.
    struct BusyFlag
    {
        explicit BusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
        ~BusyFlag() { flag_ = false; }
        BusyFlag(const BusyFlag&) = delete;
        BusyFlag& operator=(const BusyFlag&) = delete;

    private:
        bool& flag_;
    };

    Clock& clock_;
    PortSettings& port_;
    PanelDialogs& dialogs_;
    EditorView& editor_;
    std::unique_ptr<SerialChannel> ComPort_;
    FaceState face_;
    ProtocolLog log_;

    PollCycle poll_;
    TransferControl transfer_;
    DebugMonitor debug_;
    LineOwner owner_ = LineOwner::Polling;
    Timer ShutOffTimer;
    // Looks, a tick at a time, whether the backup's upload has ended.
    Timer BackupTimer;
    int BackupTicks = 0;
    BackupDone backupDone_;

    bool Connected = false;
    bool FirstOpen = true;
    bool FirstActivation = true;
    bool PortSettingsLoaded = false;
    // The port settings dialog or the parameter editor is open, or the backup has the line.
    bool InModalWindow = false;
    OpenPhase OpenPhase_ = OpenPhase::Idle;
    int OpenAttempt = 0;
    bool OpenArmed = false;
    Clock::TimerId OpenWait = 0;
    std::vector<OpenDone> openDone_;
    // After a debug capture stops, the indicator finishes its last answer before a transfer
    // starts: until then a start waits on StartWait.
    qint64 SettleUntil = 0;
    Clock::TimerId StartWait = 0;
    // From F3 until the update's Close: the loader port is the only handle on the line.
    bool UpdateHoldsLine = false;
    quint16 ReplyTimer = 0;
    quint16 ReadyTrigger = 0;
    quint16 AckTrigger = 0;
    quint16 NakTrigger = 0;
    char PendingKey = 0;
    QByteArray PendingCommand;
    int SentCount = 0;
    QString LastOpenError;
};

} // namespace kx
