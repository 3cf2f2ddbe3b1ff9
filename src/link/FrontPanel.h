#pragma once

#include "link/FaceState.h"
#include "link/FrontPanelHost.h"
#include "link/PortSettings.h"
#include "link/SerialChannel.h"
#include "link/Timer.h"
#include "transfer/TransferToken.h"

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <memory>

namespace kx {

// The remote front panel: the main port, the poll cycle with its receive dispatcher, the
// weight display, the key commands and the tare entry, and the four-second shutdown. It
// owns the link state and the main window's timers; the main window only draws faceState()
// and forwards clicks and keys.
class FrontPanel : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds PollInterval{100};
    static constexpr std::chrono::milliseconds ShutOffDelay{4000};
    static constexpr int OverflowLimit = 511;
    static constexpr int RxTextCapacity = 1023;
    static constexpr int FrameLength = 17;
    static constexpr int ReplyWaitLimit = 20;
    static constexpr int MissedReplyLimit = 5;
    static constexpr int CommandSentFrames = 10;

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
               FrontPanelHost& host, QObject* parent = nullptr);
    ~FrontPanel() override;

    const FaceState& faceState() const { return face_; }
    SerialChannel& ComPort() { return *ComPort_; }
    PortSettings& portSettings() { return port_; }

    // Start-up and shutdown.
    void FormCreate();
    void FormActivate();
    void OnOffButtonClick();
    // The user asks to close the window: true when it may close now.
    bool FormCloseQuery();
    void ShutOffTimerTimer();
    void FormClose();

    // The poll cycle.
    void OpenComPort();
    void PollTimerTimer();
    void ComPortTrigger(TriggerKind kind, quint16 handle, int count);
    void ShowReplyFrame();
    // The editor timer: runs while the parameter editor is open.
    void ParameterTimerTimer();

    // Keys.
    void CommandClick(int tag);
    void TareNumberClick(int code);
    void ButtonLeftClick();
    void ButtonEnterClick();
    void WeightDblClick();
    void F1HelpButtonClick();
    void F3UpdateButtonClick();
    void F4OptionsButtonClick();
    // A key released on the main window (a Qt::Key); keypad when it came from the keypad.
    void FormKeyUp(int key, bool keypad = false);

    // The link state, readable for the windows and for tests.
    bool Connected = false;
    bool FirstOpen = true;
    bool FirstActivation = true;
    bool PortSettingsLoaded = false;
    int PortMode = 0;
    int PollState = 0;
    int ReplyWait = 0;
    int MissedReplies = 0;
    bool InTrigger = false;
    // The port settings dialog or the parameter editor is open (or being reopened from).
    bool InModalWindow = false;
    quint16 ReplyTimer = 0;
    quint16 ReadyTrigger = 0;
    quint16 AckTrigger = 0;
    quint16 NakTrigger = 0;
    QByteArray RxText;
    QByteArray ReplyFrame;
    int SpinIndex = 0;
    bool KeepWeight = false;
    int Decimals = 0;
    char PendingKey = 0;
    QByteArray PendingCommand;
    int SentCount = 0;
    int TransferState = 0;
    int TransferReply = 0;
    int DebugState = 0;
    bool DebugFirst = false;
    // Taken by the transfer before each handshake step, given back by the reply handling.
    TransferToken TransferSemaphore;
    // Why the last open failed, in words a user can act on.
    QString LastOpenError;

    Timer PollTimer;
    Timer ShutOffTimer;
    Timer ParameterTimer;
    Timer DebugTimer;
    // The firmware update's timers: the loader's state machine, its watchdog and the retry.
    Timer StateTimer;
    Timer WatchdogTimer;
    Timer RetryTimer;

signals:
    // The face changed: redraw it.
    void faceChanged();

private:
    void ArmReplyTimer(bool arm, int ticks);
    void pollStep();
    void missedReply();
    void showDisconnected();
    void onDataAvailable(int count);
    void onPattern(quint16 handle);
    void onReplyTimeout();
    void PendingCommandStep();
    void send(const QByteArray& bytes);
    void onPortLost(const QString& reason);
    bool noPrint() const;
    void pausePolling();
    void resumePolling();
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

    PortSettings& port_;
    FrontPanelHost& host_;
    std::unique_ptr<SerialChannel> ComPort_;
    FaceState face_;
};

} // namespace kx
