#pragma once

#include "firmware/UpdateOutcome.h"
#include "link/SerialChannel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <vector>

namespace kx {

// What the loader transfer's next step does.
enum class SendStep
{
    Idle,   // nothing to send
    Resend, // the last message again, after a NAK or a time-out
    Enter,  // the enter message
    Line,   // the current line of the image
    End     // the end message
};

// What the transfer shows: the update window implements it, tests record it.
class BootstrapLoaderListener
{
public:
    virtual ~BootstrapLoaderListener() = default;
    // (0, total) at the start and (n, total) after each acknowledged line.
    virtual void ReportProgress(int position, int total) = 0;
    // The loader accepted the enter message: the lines follow.
    virtual void loaderEntered() {}
    // The run is over, once per run; nothing is sent after it.
    virtual void loaderEnded(const UpdateEnd& end) = 0;
    // The program is closing: nothing more is sent and errors are not counted.
    virtual bool shuttingDown() const = 0;
    // Exchanges are logged only while the update's progress panel is shown.
    virtual bool progressPanelShown() const = 0;
    // A line was added to the log, or the log list became visible.
    virtual void logChanged() = 0;
};

// The bootstrap-loader transfer of the firmware update: it sends the image to the
// indicator's loader on a port of its own, one acknowledged message at a time, resending a
// refused or unanswered message up to four times. Every wait is a one-shot timer on the
// clock, so nothing here runs an event loop of its own.
class BootstrapLoader
{
public:
    // The first step after the start, and the pause after a failed send.
    static constexpr std::chrono::milliseconds StateInterval{200};
    // The loader needs this long after it accepted the enter message.
    static constexpr std::chrono::milliseconds EnterPause{2000};
    // Before the same message goes out again after a NAK or a time-out.
    static constexpr std::chrono::milliseconds ResendDelay{100};
    // Between an acknowledged line and the next message, unless bsl.Ini says otherwise.
    static constexpr std::chrono::milliseconds DefaultLineDelay{10};
    // Ticks of the port's clock the loader has to answer a message.
    static constexpr int ReplyTicks = 20;
    // Errors (NAK or time-out) in a row that fail the transfer: one send and four resends.
    static constexpr int ErrorLimit = 5;
    // Send attempts that may fail in a row before the transfer fails.
    static constexpr int SendFailureLimit = 5;
    // Reply bytes kept without a verdict; past this they are dropped.
    static constexpr int ReplyCapacity = 1023;
    // Bytes taken from the port at a time.
    static constexpr int ReadBlock = 511;
    // The log list keeps this many lines (and one more while a line is added).
    static constexpr int LogCapacity = 1400;

    BootstrapLoader(Clock& clock, SerialChannel& scalePort, BootstrapLoaderListener& listener,
                    QString folder);
    ~BootstrapLoader();
    BootstrapLoader(const BootstrapLoader&) = delete;
    BootstrapLoader& operator=(const BootstrapLoader&) = delete;

    // 0 or less: the next message follows the ACK without a wait.
    void setLineDelay(int ms) { LineDelay = ms; }
    int lineDelay() const { return LineDelay; }
    void setLogging(bool on) { LoggingOn = on; }
    bool logging() const { return LoggingOn; }
    // The loader port's reply timer notification; 0 when there is none (no time-outs).
    void setReplyTimer(quint16 handle) { ReplyTimer = handle; }
    // Asked right before each message goes out: true when a stop (a signal) has been asked
    // for that the event loop has not delivered yet; the run is then cancelled there.
    void setStopCheck(std::function<bool()> check) { stopCheck_ = std::move(check); }
    quint16 replyTimer() const { return ReplyTimer; }

    // Starts (or starts again) sending image: the enter message goes out one step later.
    void StartTransfer(const QList<QByteArray>& image);
    void StateTimerTimer();
    void ScalePortTrigger(TriggerKind kind, quint16 handle, int count);
    // Stops a transfer under way: no further message, no time-out; a run that was under way
    // ends as cancelled.
    void stop();
    // The loader port went away: the run ends at once, there is nobody to resend to.
    void lineLost(const QString& reason);

    SendStep sendStep() const { return step_; }
    AwaitedReply awaitedReply() const { return awaited_; }
    bool transferRunning() const { return Running; }
    // True while a step (a send, a resend) is due.
    bool stepScheduled() const { return stepTimer_ != 0; }
    int lineIndex() const { return LineIndex; }
    int total() const { return static_cast<int>(BSLList.size()); }
    int errorCount() const { return ErrorCount; }
    // Copies of the current message sent, and replies had for them.
    int copiesSent() const { return copies_; }
    int repliesHad() const { return answered_; }
    int sendFailures() const { return SendFailures; }
    const QByteArray& sendBuffer() const { return SendBuffer; }

    // The exchange as logged, newest last.
    const QList<QByteArray>& log() const { return LogList; }
    bool logListVisible() const { return LogListVisible; }
    // Lines ever added to the log, so a view can add only the new ones.
    quint64 logAdded() const { return LogAdded; }
    void clearLog() { LogList.clear(); }
    void hideLog() { LogListVisible = false; }

private:
    bool sendFresh(QString& why);
    void resend();
    void handle(TriggerKind kind, quint16 handle, int count);
    void onData(int count);
    // One ACK or NAK byte: the answer to the oldest copy of the current message that has
    // none yet.
    void onReply(bool ack);
    // A fresh message with this many copies out.
    void newMessage(int copies);
    void onAck();
    void onNak();
    void onReplyTimeout();
    void countError(bool afterNak);
    void finish(Outcome outcome, const QString& reason = {});
    void armReply(bool arm);
    void logLine(const QByteArray& line);
    void logSent();
    void schedule(qint64 ms);
    void cancelStep();
    void drainInput();

    Clock& clock_;
    SerialChannel& ScalePort;
    BootstrapLoaderListener& listener_;
    QString folder_;
    Clock::TimerId stepTimer_ = 0;

    QList<QByteArray> BSLList;
    bool Running = false;
    int LineIndex = 0;
    SendStep step_ = SendStep::Idle;
    AwaitedReply awaited_ = AwaitedReply::None;
    int ErrorCount = 0;
    int SendFailures = 0;
    // The loader numbers nothing, so its replies are matched by counting: the copies of the
    // current message that went out, the replies had for them, and whether one was an ACK.
    int copies_ = 0;
    int answered_ = 0;
    bool taken_ = false;
    int naks_ = 0;
    // A line of this run has gone out.
    bool linesSent_ = false;
    // Which copies have had their error counted (a time-out, or a NAK), so none counts twice.
    std::vector<bool> erred_;
    QByteArray SendBuffer;
    QByteArray ReceiveText;
    int LineDelay = static_cast<int>(DefaultLineDelay.count());
    bool LoggingOn = false;
    quint16 ReplyTimer = 0;
    std::function<bool()> stopCheck_;
    QList<QByteArray> LogList;
    bool LogListVisible = false;
    quint64 LogAdded = 0;
};

} // namespace kx
