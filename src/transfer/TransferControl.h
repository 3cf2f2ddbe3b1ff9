#pragma once

#include "link/LineClient.h"
#include "link/MainLine.h"
#include "link/Timer.h"
#include "transfer/TransferView.h"
#include "transfer/TransferOutcome.h"
#include "transfer/TransferToken.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace kx {

// Where a settings transfer stands.
enum class TransferState : std::int8_t
{
    Idle,
    EntryRequested,    // "pcmode" sent, waiting for the indicator's ACK
    Uploading,         // 'u' sent: the bytes that come are the upload
    DownloadCommanded, // 'd' sent, waiting for "ready"
    DownloadDataSent   // the records went out, waiting for the ACK
};

// The indicator's last answer to a transfer step.
enum class TransferReply
{
    None,
    Refused, // NAK, or "ready" after the data; also each frame shown in CONTINUOUS mode
    EntryAcknowledged,
    Ready,
    DownloadAcknowledged
};

// The settings transfer: it has the main port while the parameter editor is open. The entry
// handshake counts its waits in steps of 2 ms, the request repeated every 500 of them, but it
// only wakes when a request is due: the indicator's answer ends the wait as it comes. The
// editor timer sends the queued command and the download data; the receive dispatcher's
// notifications come in as the on...() events. Every run ends once, through end(), with one
// TransferEnding given to the editor.
class TransferControl : public LineClient
{
public:
    static constexpr std::chrono::milliseconds EditorTick{100};
    static constexpr std::chrono::milliseconds EntryWaitStep{2};
    static constexpr int EntryWaitSteps = 10000;
    static constexpr int EntryRequestEvery = 500;
    static constexpr std::chrono::milliseconds EntryRequestPeriod = EntryWaitStep * EntryRequestEvery;
    // How long the indicator may take to answer u, d or the download data (and to go on with
    // an upload it has begun): the 20 ticks of 55 ms the house gives every reply, as the
    // loader's reply time-out and the poll cycle's reply wait do.
    static constexpr std::chrono::milliseconds ReplyTimeout{20 * 55};
    // How long the indicator may take to answer the download data once its last byte is
    // across: it writes the whole setup to its non-volatile memory before it answers, which
    // takes far longer than any other reply. A time-out here leaves the setup in doubt, so
    // the bound is generous: five times the house's reply time, rounded up.
    static constexpr std::chrono::milliseconds StoreTimeout{6000};
    // An upload that has not ended after this much text is not one.
    static constexpr int UploadLimit = 64 * 1024;

    // folder: the program's folder, where Download.Txt and Upload.Txt are kept.
    TransferControl(Clock& clock, MainLine& line, TransferView& view, QString folder = {});

    TransferState state() const { return state_; }
    TransferReply reply() const { return reply_; }
    char command() const { return TransferCommand; }
    bool waitingForEntry() const { return waiting_; }
    // A transfer is under way: it has not ended yet.
    bool running() const { return running_; }
    // The indicator has been told d in the run under way or the last one.
    bool indicatorTold() const { return told_; }
    const TransferToken& token() const { return TransferSemaphore; }
    const Timer& editorTimer() const { return ParameterTimer; }
    // Whether the last upload ended complete.
    bool lastUploadComplete() const { return lastUploadComplete_; }
    // The settings file made by the last complete upload, line by line.
    const QList<QByteArray>& uploadLines() const { return UploadList; }
    void setFolder(const QString& folder) { folder_ = folder; }

    // The editor opens (the transfer gets the line) and closes (it gives it back).
    void editorOpened();
    void editorClosed();
    void ParameterTimerTimer();

    // What Port.Ini says for a transfer: the port (0: none selected), whether the indicator
    // has a second custom output, and how many records its upload has.
    struct PortFacts
    {
        int portNumber = 0;
        bool secondOutput = false;
        int uploadRecords = 10;
        // A download first reads the indicator's setup and saves it in this folder as
        // <date>_<time>_<tag>.dat; a backup that fails stops the download. Empty: no backup.
        QString backupFolder;
        QString backupTag;
        // The line's speed: the download data's time on the wire counts before its time-out.
        // 0: not known, no allowance.
        int baud = 0;
        // After an acknowledged download the setup is read back and compared with what was
        // sent; off: the result says "not verified".
        bool verify = true;
        // The download sends a setup built from the one just read, with some of the editor's
        // settings in it (the compare window's "Send checked").
        bool partial = false;
        // The upload is read into memory only (a comparison): Upload.Txt stays as the last
        // upload kept it.
        bool inMemory = false;
    };
    // The editor's buttons, once it has done its own asking: the entry handshake starts.
    void start(TransferDirection direction, const PortFacts& port);
    // The status panel's "Cancel" was pressed (the panel says so itself) or Ctrl-C: the run
    // ends at once, its queued command is dropped and nothing more of it is sent.
    void cancel();
    // The device went away: the run ends with the reason.
    void lineLost(const QString& reason);

    // What became of one entry request: true when "pcmode" went out with the token taken;
    // otherwise how the run ended because it could not.
    struct EntryRequest
    {
        std::optional<TransferEnding> failed;
        explicit operator bool() const { return !failed; }
    };
    [[nodiscard]] EntryRequest SendEntryRequest(int portNumber);

    // The receive dispatcher's events while the transfer has the line.
    void onAck();
    void onNak();
    void onReady();
    void onPattern(LinePattern pattern) override;
    void onReplyTimeout() override;
    void onDataAvailable(int count) override;

    // Called once, after the editor has been told, when the next run ends: for a job that
    // drives a run of its own (the backup before a write).
    using EndWatcher = std::function<void(const TransferResult&)>;
    void watchNextEnd(EndWatcher watcher) { endWatcher_ = std::move(watcher); }

    // Asked right before every byte of a run goes out: true when a stop has been asked for
    // (a signal) that the event loop has not delivered yet. The run is then cancelled there,
    // and nothing more of it goes out, whatever timer was due.
    using StopCheck = std::function<bool()>;
    void setStopCheck(StopCheck check) { stopCheck_ = std::move(check); }

    // Told of every run whose download data went out, before the run's closing line: what
    // it sets of the result's notLogged and logbookNote is written above that line.
    using WriteRecorder = std::function<void(TransferResult&)>;
    void setWriteRecorder(WriteRecorder recorder) { writeRecorder_ = std::move(recorder); }
    // The indicator's setup as read before the next download (a backup taken by the caller),
    // for the record of what that download changed.
    void setSetupBeforeWrite(const QList<QByteArray>& lines, const QString& backupPath)
    {
        setupBefore_ = lines;
        backupPath_ = backupPath;
    }

    // In CONTINUOUS mode every frame the face shows counts as a refusal, so a transfer never
    // starts from an acknowledgement left over from an earlier one.
    void continuousFrameShown() { reply_ = TransferReply::Refused; }

private:
    void append(const QString& line);
    // The one way a run ends: everything stops, the closing line is written and the editor
    // is told. Nothing once the run has ended.
    void end(TransferEnding ending, const QString& detail = {});
    void entryStep();
    void entryAnswered();
    void endEntryWait();
    void armReplyTimeout(std::chrono::milliseconds extra = {});
    void replyTimedOut();
    // A reply that comes while no run is under way: true when it is a late one (a run
    // has ended since the editor opened), which is logged and changes nothing.
    bool lateReply(const char* what) const;
    // True when a stop was asked for before a write: the run has been cancelled.
    bool stopBeforeWrite();
    // The entry's every request has had its answer, or its time to answer has passed: a
    // command sent before would have a late ACK to an entry request taken for its own.
    bool entrySettled() const;
    // The download was acknowledged: read the setup back and compare, or end.
    void downloadAcknowledged();
    void verifyRead(const QList<QByteArray>& lines);
    void BuildDownload();
    void SendTransferCommand();
    void SendDownloadData();
    void uploadEnded(const QByteArray& text);
    // The backup read before a download ended: save it and go on, or stop.
    bool backupTaken(const QList<QByteArray>& lines);
    void beginEntryWait(TransferDirection direction, bool openPanel);

    Clock& clock_;
    MainLine& line_;
    TransferView& view_;
    QString folder_;
    Timer ParameterTimer;
    Timer EntryTimer;
    // The reply time-out after u, d and the download data.
    Timer AnswerTimer;
    TransferState state_ = TransferState::Idle;
    TransferReply reply_ = TransferReply::None;
    char TransferCommand = 0;
    bool UploadStarted = false;
    bool running_ = false;
    // A run has ended since the editor opened: a reply now is a late one, and ignored.
    bool ranSinceOpen_ = false;
    bool told_ = false;
    // The entry wait: its direction, its steps left, the spinner of its status line.
    bool waiting_ = false;
    TransferDirection direction_ = TransferDirection::Upload;
    // What the user asked for (a download's backup runs as an upload first).
    TransferDirection requested_ = TransferDirection::Upload;
    PortFacts port_;
    // The upload under way is the backup before a download.
    bool backingUp_ = false;
    bool lastUploadComplete_ = false;
    // The last upload brought another number of records than "Custom Outputs" expects: why a
    // download the indicator then refuses was likely refused.
    QString recordCountNote_;
    int count_ = 0;
    QString spinner_;
    // Taken by the sender of each handshake step, given back by the reply handling.
    TransferToken TransferSemaphore;
    QByteArray RxText;
    QByteArray DownloadData;
    // The settings file's text the download was built from, for the verify.
    QByteArray sentText_;
    // The upload under way reads back what a download sent.
    bool verifying_ = false;
    // The download data has gone out in this run: the indicator may hold the new setup.
    bool dataSent_ = false;
    // ... and stays said for the whole run, the read-back included.
    bool wroteData_ = false;
    // Entry requests sent in this wait, ACKs and NAKs had for them, when the last one went.
    int entryCopies_ = 0;
    int entryAnswers_ = 0;
    qint64 lastEntryAt_ = 0;
    StopCheck stopCheck_;
    WriteRecorder writeRecorder_;
    QList<QByteArray> setupBefore_;
    QString backupPath_;
    QString sentFile_;
    // The verify's findings, for the result.
    QStringList differences_;
    int compared_ = 0;
    QList<QByteArray> UploadList;
    EndWatcher endWatcher_;
};

} // namespace kx
