#pragma once

#include "link/LineClient.h"
#include "link/MainLine.h"
#include "link/PortSettings.h"
#include "link/SerialChannel.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace kx {

// What the link does with received bytes at this moment.
enum class LineInput
{
    Pass, // to the owner
    Drop, // taken unread: the operator is typing a tare and nothing may replace the face
    Hold  // left in the port: the program is shutting down and wants no more of the line
};

// What the link tells the one above it.
class MainLinkListener
{
public:
    virtual ~MainLinkListener() = default;
    // An open ended; showFailure: a port was selected and could not be opened, which the
    // user is told. Called before the open's waiters hear of it.
    virtual void openEnded(bool connected, bool showFailure) = 0;
    // The open port went away (unplugged, I/O error): reason names the device and why.
    virtual void linkLost(const QString& reason) = 0;
    virtual LineInput lineInput() const = 0;
};

// The main port: it owns the serial channel, opens it with the port settings (settle, try,
// wait, try again, each a wait on the clock), watches the three patterns and the reply timer,
// notices a lost device, and hands every notification to its one owner.
class MainLink : public QObject, public MainLine
{
    Q_OBJECT
public:
    // Ticks the open waits before trying, and between its two attempts.
    static constexpr int SettleTicks = 1;
    static constexpr int RetryTicks = 10;
    static constexpr int OpenAttempts = 2;

    MainLink(Clock& clock, std::unique_ptr<SerialDevice> device, PortSettings& port,
             MainLinkListener& listener, QObject* parent = nullptr);
    ~MainLink() override;

    SerialChannel& ComPort() { return *ComPort_; }
    const SerialChannel& ComPort() const { return *ComPort_; }

    bool connected() const { return Connected; }
    // Why the last open failed, in words a user can act on.
    const QString& lastOpenError() const { return LastOpenError; }

    // Closes the port and returns at once: the open settles, tries, waits and tries again
    // on the clock, and ends with openFinished, after calling then with whether the port is
    // connected. A second request while one is under way starts the open over; whoever
    // asked for the earlier one hears the end of this one.
    using OpenDone = std::function<void(bool connected)>;
    void OpenComPort(OpenDone then = {});
    bool opening() const { return OpenPhase_ != OpenPhase::Idle; }
    // A waiting open ends now, not connected.
    void abandonOpen();
    // The program is shutting down: an open still waiting ends at its next step, not
    // connected, and nothing more opens.
    void windDown() { windingDown_ = true; }
    // Discards pending input and closes the port; failures are logged, the port is closed
    // all the same. The link is not connected afterwards.
    void close();
    // Every notification the engines need was created by the last open.
    bool notificationsArmed() const;

    // Who has the line; nothing while the line is nobody's (the firmware update has it).
    void setOwner(LineClient* owner) { owner_ = owner; }
    LineClient* owner() const { return owner_; }

    // The channel's notification: passed to the owner as one event.
    void ComPortTrigger(TriggerKind kind, quint16 handle, int count);

    // MainLine: the owner's view of the port.
    bool isOpen() const override { return ComPort_->IsOpen(); }
    bool send(const QByteArray& bytes) override { return ComPort_->PutString(bytes); }
    QByteArray take(int count) override { return ComPort_->GetBlock(count); }
    bool discardInput() override { return ComPort_->FlushInBuffer(); }
    QString failure() const override { return ComPort_->lastFailure(); }
    void armReplyTimer(bool arm, int ticks) override;

signals:
    // An open has ended: connected or not, and if not, why.
    void openFinished(bool connected, const QString& why);

private:
    enum class OpenPhase
    {
        Idle,
        Settling,
        Attempting,
        RetryWait
    };
    enum Pattern
    {
        ReplyTimer,
        ReadyPattern,
        AckPattern,
        NakPattern,
        PatternCount
    };

    void waitTicks(int ticks, std::function<void()> next);
    void cancelOpenWait();
    void applyLineSettings();
    void tryOpen();
    void openTried();
    void finishOpen(bool connected, bool showFailure);
    void dispatch(TriggerKind kind, quint16 handle, int count);
    void removeTriggers();
    bool createTriggers();
    void onPortLost(const QString& reason);

    Clock& clock_;
    PortSettings& port_;
    MainLinkListener& listener_;
    std::unique_ptr<SerialChannel> ComPort_;
    LineClient* owner_ = nullptr;
    // The channel's handles, by what they watch; 0 when not created.
    quint16 handles_[PatternCount] = {};
    bool Connected = false;
    bool windingDown_ = false;
    OpenPhase OpenPhase_ = OpenPhase::Idle;
    int OpenAttempt = 0;
    bool OpenArmed = false;
    Clock::TimerId OpenWait = 0;
    std::vector<OpenDone> openDone_;
    QString LastOpenError;
};

} // namespace kx
