#include "transfer/TransferControl.h"

#include "link/ReceivedText.h"
#include "link/SerialTypes.h"
#include "settings/IndicatorBackup.h"
#include "settings/SafeSave.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsDiff.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"
#include "transfer/DownloadRecords.h"

#include <QDir>
#include <utility>
#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTransfer, "kx.transfer", QtInfoMsg)

namespace kx {
namespace {

QString openingText(TransferDirection d)
{
    return d == TransferDirection::Upload
               ? QStringLiteral("Initializing KX7400 Upload... please wait.  ")
               : QStringLiteral("Initializing KX7400 Download... please wait.  ");
}

QString refreshText(TransferDirection d)
{
    return d == TransferDirection::Upload
               ? QStringLiteral("Initializing KX7400 Upload... please wait. ")
               : QStringLiteral("Initializing KX7400 Download... please wait. ");
}

// An upload that came whole but could not be kept in Upload.Txt: its reason follows the
// closing line instead of going before it.
bool notKept(TransferEnding ending)
{
    return ending == TransferEnding::UploadNotSaved || ending == TransferEnding::UploadNotWritten;
}

} // namespace

TransferControl::TransferControl(Clock& clock, MainLine& line, TransferView& view, QString folder)
    : clock_(clock), line_(line), view_(view), folder_(std::move(folder)),
      ParameterTimer(clock, EditorTick.count()), EntryTimer(clock, EntryRequestPeriod.count()),
      AnswerTimer(clock, ReplyTimeout.count())
{
    ParameterTimer.setOnTimer([this] { ParameterTimerTimer(); });
    EntryTimer.setOnTimer([this] { entryStep(); });
    AnswerTimer.setOnTimer([this] { replyTimedOut(); });
}

void TransferControl::append(const QString& line)
{
    view_.ShowTransferStatus(line, false, false, false);
}

void TransferControl::end(TransferEnding ending, const QString& detail)
{
    if (!running_)
        return;
    // This run's watcher: one set while the editor hears of the end is the next run's.
    const EndWatcher watcher = std::exchange(endWatcher_, {});
    TransferResult result;
    result.direction = requested_;
    result.partial = port_.partial;
    result.detail = detail;
    if (backingUp_ && ending != TransferEnding::Cancelled && ending != TransferEnding::Closed) {
        // The backup read before a download ended without the setup: nothing is sent. The
        // panel says how the read ended, then what that means.
        const QString how = transferEndingText(ending);
        if (!detail.isEmpty())
            append(detail);
        if (!how.isEmpty())
            append(how);
        result.detail = detail.isEmpty() ? how : QStringLiteral("%1 %2").arg(detail, how);
        ending = TransferEnding::BackupNotRead;
    } else if (!detail.isEmpty() && !notKept(ending)) {
        append(detail);
    }
    // The data went out and no verdict came back: the indicator may have stored it.
    const bool inDoubt = dataSent_ && !verifying_
                         && (ending == TransferEnding::NoReply || ending == TransferEnding::ReplyTimerExpired
                             || ending == TransferEnding::CancelledAfterData
                             || ending == TransferEnding::Closed || ending == TransferEnding::LineLost
                             || ending == TransferEnding::SendFailed
                             || ending == TransferEnding::PortClosedAtStep);
    if (inDoubt) {
        append(QStringLiteral("The KX7400 may hold the new setup: read it back (Upload) to see "
                              "what it holds before you rely on it."));
        result.mayHoldNewSetup = true;
    } else if (ending == TransferEnding::Abandoned && requested_ == TransferDirection::Download &&
               !recordCountNote_.isEmpty()) {
        append(QStringLiteral("Likely cause: the last upload had %1").arg(recordCountNote_));
    } else if (ending == TransferEnding::LineLost && requested_ == TransferDirection::Download &&
               !dataSent_ && !verifying_ && !backingUp_) {
        // The line went before the setup did: the user need not wonder what the indicator holds.
        append(QStringLiteral("The KX7400's setup was not changed: nothing of the new setup "
                              "went out."));
    }
    if (verifying_ && ending != TransferEnding::DownloadVerified
        && ending != TransferEnding::VerifyDiffers) {
        // The download itself was acknowledged; only the read-back did not come through.
        const bool stopped = ending == TransferEnding::Cancelled ||
                             ending == TransferEnding::Closed ||
                             ending == TransferEnding::CancelledAfterCommand ||
                             ending == TransferEnding::CancelledAfterData;
        result.detail = detail.isEmpty() ? transferEndingText(ending)
                                         : QStringLiteral("%1 %2").arg(detail, transferEndingText(ending));
        ending = stopped ? TransferEnding::VerifyStopped : TransferEnding::VerifyNotRead;
        result.verify = TransferResult::Verify::NotRead;
    }
    running_ = false;
    verifying_ = false;
    waiting_ = false;
    backingUp_ = false;
    EntryTimer.stop();
    AnswerTimer.stop();
    TransferCommand = 0;
    TransferSemaphore.release();
    state_ = TransferState::Idle;
    if (ending == TransferEnding::DownloadVerified)
        result.verify = TransferResult::Verify::Verified;
    else if (ending == TransferEnding::VerifyDiffers)
        result.verify = TransferResult::Verify::Differs;
    result.differences = differences_;
    result.settingsCompared = compared_;
    result.dataSent = wroteData_;
    if (result.dataSent) {
        result.sentFile = sentFile_;
        result.sentText = sentText_;
        result.setupBefore = setupBefore_;
        result.backupPath = backupPath_;
    }
    result.ending = ending;
    result.outcome = transferOutcome(ending);
    result.text = transferEndingText(ending);
    result.indicatorTold = told_;
    if (requested_ == TransferDirection::Upload || ending == TransferEnding::Abandoned)
        result.recordCountNote = recordCountNote_;
    if (result.dataSent && writeRecorder_) {
        writeRecorder_(result);
        if (!result.logbookNote.isEmpty())
            append(result.logbookNote);
        if (!result.notLogged.isEmpty())
            append(result.notLogged);
    }
    setupBefore_.clear();
    backupPath_.clear();
    if (!result.text.isEmpty())
        view_.ShowTransferStatus(result.text, false, true, false);
    // An upload that could not be kept says so first and why on the line after it.
    if (notKept(ending) && !detail.isEmpty())
        view_.ShowTransferStatus(detail, false, false, false);
    qCInfo(lcTransfer) << "transfer ended:" << outcomeName(result.outcome) << result.text
                       << result.detail;
    view_.transferEnded(result);
    if (watcher)
        watcher(result);
}

void TransferControl::editorOpened()
{
    state_ = TransferState::Idle;
    ranSinceOpen_ = false;
    ParameterTimer.start();
}

void TransferControl::editorClosed()
{
    end(TransferEnding::Closed);
    state_ = TransferState::Idle;
    TransferCommand = 0;
    waiting_ = false;
    backingUp_ = false;
    EntryTimer.stop();
    AnswerTimer.stop();
    TransferSemaphore.release();
    ParameterTimer.stop();
}

void TransferControl::ParameterTimerTimer()
{
    ParameterTimer.stop();
    if (running_) {
        if (reply_ == TransferReply::EntryAcknowledged && TransferCommand != 0) {
            if (entrySettled())
                SendTransferCommand();
        }
        else if (reply_ == TransferReply::Ready && state_ == TransferState::DownloadCommanded)
            SendDownloadData();
    }
    view_.refreshEditorClock();
    ParameterTimer.start();
}

void TransferControl::start(TransferDirection direction, const PortFacts& port)
{
    if (running_)
        return;
    port_ = port;
    lastUploadComplete_ = false;
    told_ = false;
    dataSent_ = false;
    wroteData_ = false;
    verifying_ = false;
    differences_.clear();
    compared_ = 0;
    requested_ = direction;
    ranSinceOpen_ = true;
    DownloadData.clear();
    backingUp_ = direction == TransferDirection::Download && !port.backupFolder.isEmpty();
    running_ = true;
    // A reply timer the poll cycle armed before the editor opened is not this run's: the run
    // keeps its own time-outs.
    line_.armReplyTimer(false, 0);
    beginEntryWait(backingUp_ ? TransferDirection::Upload : direction, true);
}

void TransferControl::beginEntryWait(TransferDirection direction, bool openPanel)
{
    direction_ = direction;
    // An acknowledgement from an earlier transfer must not let this one go ahead.
    reply_ = TransferReply::None;
    waiting_ = true;
    entryCopies_ = 0;
    entryAnswers_ = 0;
    view_.ShowTransferStatus(openingText(direction), openPanel, false, false);
    spinner_.clear();
    count_ = EntryWaitSteps;
    EntryTimer.stop();
    entryStep();
    if (waiting_)
        EntryTimer.start();
}

bool TransferControl::backupTaken(const QList<QByteArray>& lines)
{
    QString why;
    const auto path = saveIndicatorBackup(port_.backupFolder, lines, clock_.localDateTime(),
                                          port_.backupTag, &why);
    if (!path) {
        append(why);
        return false;
    }
    append(QStringLiteral("Backup saved: %1").arg(QDir::toNativeSeparators(*path)));
    setupBefore_ = lines;
    backupPath_ = *path;
    return true;
}

void TransferControl::cancel()
{
    if (!running_)
        return;
    switch (state_) {
    case TransferState::DownloadCommanded:
        end(TransferEnding::CancelledAfterCommand);
        break;
    case TransferState::DownloadDataSent:
        end(TransferEnding::CancelledAfterData);
        break;
    default:
        end(TransferEnding::Cancelled);
        break;
    }
}

void TransferControl::lineLost(const QString& reason)
{
    end(TransferEnding::LineLost, reason);
}

// One request of the entry wait: every EntryRequestEvery steps of EntryWaitStep, the first at
// once. Between requests nothing runs; the answer ends the wait through onAck or onNak.
void TransferControl::entryStep()
{
    if (!waiting_)
        return;
    if (count_ <= 0) {
        end(TransferEnding::NoEntryAnswer);
        return;
    }
    TransferSemaphore.release();
    view_.ShowTransferStatus(refreshText(direction_) + spinner_, false, false, true);
    spinner_ = spinner_ == QLatin1String("\\") ? QStringLiteral("/") : QStringLiteral("\\");
    if (!SendEntryRequest(port_.portNumber))
        return; // the run has ended
    count_ -= EntryRequestEvery;
}

void TransferControl::endEntryWait()
{
    waiting_ = false;
    EntryTimer.stop();
    TransferSemaphore.release();
}

void TransferControl::entryAnswered()
{
    endEntryWait();
    if (direction_ == TransferDirection::Upload) {
        TransferCommand = 'u';
        return;
    }
    append(QStringLiteral("Preparing download string..."));
    BuildDownload();
}

TransferControl::EntryRequest TransferControl::SendEntryRequest(int portNumber)
{
    std::optional<TransferEnding> failed;
    if (portNumber == 0)
        failed = TransferEnding::NoPortSelected;
    else if (!line_.isOpen())
        failed = TransferEnding::PortNotOpen;
    else if (!TransferSemaphore.take())
        failed = TransferEnding::TokenBusy;
    if (failed) {
        end(*failed);
        return {failed};
    }
    state_ = TransferState::EntryRequested;
    if (stopBeforeWrite())
        return {TransferEnding::Cancelled};
    if (!line_.send("pcmode")) {
        end(TransferEnding::SendFailed, line_.failure());
        return {TransferEnding::SendFailed};
    }
    ++entryCopies_;
    lastEntryAt_ = clock_.nowMs();
    // The editor timer's next step comes a whole period after the request.
    ParameterTimer.stop();
    ParameterTimer.start();
    return {};
}

void TransferControl::armReplyTimeout(std::chrono::milliseconds extra)
{
    AnswerTimer.stop();
    AnswerTimer.setInterval(int((ReplyTimeout + extra).count()));
    AnswerTimer.start();
}

void TransferControl::replyTimedOut()
{
    AnswerTimer.stop();
    if (!running_)
        return;
    QString awaited;
    switch (state_) {
    case TransferState::Uploading:
        awaited = UploadStarted ? QStringLiteral("The KX7400 stopped sending its setup.")
                                : QStringLiteral("No upload from the KX7400 after u.");
        break;
    case TransferState::DownloadCommanded:
        awaited = QStringLiteral("No \"ready\" from the KX7400 after d.");
        break;
    case TransferState::DownloadDataSent:
        awaited = QStringLiteral("No acknowledgment from the KX7400 after the download data.");
        break;
    default:
        awaited = QStringLiteral("No answer from the KX7400.");
        break;
    }
    RxText.clear();
    end(TransferEnding::NoReply, awaited);
}

void TransferControl::BuildDownload()
{
    const TransferInputs inputs = view_.transferInputs();
    DownloadSource source;
    source.tickedUnits = inputs.tickedUnits;
    source.fieldBus = inputs.fieldBus;
    source.secondOutput = port_.secondOutput;
    source.now = clock_.localDateTime();

    // Only what was checked goes: the file is not read again here, so a file replaced since
    // the check cannot send what nobody checked.
    if (inputs.settings.text.isEmpty()) {
        append(QStringLiteral("No checked settings file to send. Nothing was sent."));
        end(TransferEnding::DownloadNotBuilt);
        return;
    }
    source.fileText = inputs.settings.text;

    const DownloadBuild build = buildDownloadRecords(source);
    for (const QString& line : build.failures)
        append(line);
    if (!build.ok()) {
        end(TransferEnding::DownloadNotBuilt);
        return;
    }
    QString why;
    if (!saveFile(QDir(folder_).filePath(QStringLiteral("Download.Txt")), build.records, &why)) {
        append(QStringLiteral("Unable to Save Local Copy."));
        append(why);
        end(TransferEnding::DownloadNotBuilt);
        return;
    }
    DownloadData = build.records;
    sentText_ = source.fileText;
    sentFile_ = inputs.settings.path;
    TransferCommand = 'd';
}

void TransferControl::SendTransferCommand()
{
    const char command = TransferCommand;
    TransferCommand = 0;
    // The last look before the command goes: a stop asked for by now wins over it.
    if (stopBeforeWrite())
        return;
    if (!line_.isOpen()) {
        end(TransferEnding::PortClosedAtStep);
        return;
    }
    if (!line_.discardInput()) {
        end(TransferEnding::SendFailed, line_.failure());
        return;
    }
    RxText.clear();
    if (command == 'd') {
        state_ = TransferState::DownloadCommanded;
        append(QStringLiteral("Beginning download..."));
    } else {
        state_ = TransferState::Uploading;
        append(QStringLiteral("Beginning upload..."));
        UploadStarted = false;
    }
    if (!line_.send(QByteArray(1, command))) {
        end(TransferEnding::SendFailed, line_.failure());
        return;
    }
    told_ = told_ || command == 'd';
    armReplyTimeout();
}

void TransferControl::SendDownloadData()
{
    if (!line_.isOpen()) {
        end(TransferEnding::PortClosedAtStep);
        return;
    }
    append(QStringLiteral("Downloading Settings..."));
    if (!line_.discardInput()) {
        end(TransferEnding::SendFailed, line_.failure());
        return;
    }
    // The last look before the setup goes: a stop asked for by now wins over the data.
    if (stopBeforeWrite())
        return;
    state_ = TransferState::DownloadDataSent;
    // One burst: the indicator takes the records as they come.
    const QByteArray data = ctl(Ctl::STX) + DownloadData + ctl(Ctl::EOT);
    dataSent_ = true;
    wroteData_ = true;
    if (!line_.send(data)) {
        end(TransferEnding::SendFailed, line_.failure());
        return;
    }
    // The indicator answers once the last byte has crossed the wire (11 bits a byte at most)
    // and its setup is stored.
    const auto wire = port_.baud > 0
                          ? std::chrono::milliseconds(qint64(data.size()) * 11 * 1000 / port_.baud + 1)
                          : std::chrono::milliseconds(0);
    armReplyTimeout(wire + StoreTimeout - ReplyTimeout);
}

bool TransferControl::lateReply(const char* what) const
{
    if (running_ || !ranSinceOpen_)
        return false;
    qCInfo(lcTransfer) << what << "after the transfer ended ignored";
    return true;
}

void TransferControl::onPattern(LinePattern pattern)
{
    switch (pattern) {
    case LinePattern::Ack:
        onAck();
        break;
    case LinePattern::Nak:
        onNak();
        break;
    case LinePattern::Ready:
        onReady();
        break;
    }
}

void TransferControl::onAck()
{
    if (!running_) {
        if (!lateReply("ACK"))
            qCDebug(lcTransfer) << "ACK outside a handshake ignored";
        return;
    }
    switch (state_) {
    case TransferState::EntryRequested:
        ++entryAnswers_;
        if (reply_ == TransferReply::EntryAcknowledged) {
            // The answer to an earlier copy of the request: the entry is already taken.
            qCDebug(lcTransfer) << "ACK to a repeated entry request";
            break;
        }
        reply_ = TransferReply::EntryAcknowledged;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Acknowledgment Received!"));
        if (waiting_)
            entryAnswered();
        break;
    case TransferState::DownloadDataSent:
        reply_ = TransferReply::DownloadAcknowledged;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Acknowledgment Received!"));
        downloadAcknowledged();
        break;
    default:
        qCDebug(lcTransfer) << "ACK outside a handshake ignored";
        break;
    }
}

void TransferControl::onNak()
{
    if (lateReply("NAK"))
        return;
    if (running_ && state_ == TransferState::EntryRequested)
        ++entryAnswers_;
    reply_ = TransferReply::Refused;
    if (!running_) {
        // Unasked, before any run: the panel says so, and there is no run to end.
        state_ = TransferState::Idle;
        TransferSemaphore.release();
        view_.ShowTransferStatus(transferEndingText(TransferEnding::Abandoned), false, true, false);
        return;
    }
    end(TransferEnding::Abandoned);
}

void TransferControl::onReady()
{
    if (lateReply("\"ready\""))
        return;
    if (state_ == TransferState::DownloadDataSent) {
        reply_ = TransferReply::Refused;
        append(QStringLiteral("KX7400 Aborted Action!"));
        end(TransferEnding::Aborted);
        return;
    }
    if (running_ && TransferCommand != 0) {
        // The acknowledged entry has its command queued; taking this "ready" as the reply
        // would leave that command waiting for ever.
        qCInfo(lcTransfer) << "\"ready\" before the command went out ignored";
        return;
    }
    reply_ = TransferReply::Ready;
    if (state_ == TransferState::DownloadCommanded)
        AnswerTimer.stop(); // the data goes at the editor timer's next step
    append(QStringLiteral("KX7400 Ready Response Received!"));
}

void TransferControl::onReplyTimeout()
{
    RxText.clear();
    if (lateReply("the reply timer"))
        return;
    if (!running_) {
        // The poll cycle's last reply timer, before any run: the panel says so.
        state_ = TransferState::Idle;
        view_.ShowTransferStatus(transferEndingText(TransferEnding::ReplyTimerExpired), false,
                                 true, false);
        return;
    }
    end(TransferEnding::ReplyTimerExpired);
}

void TransferControl::onDataAvailable(int count)
{
    if (state_ != TransferState::Uploading || !running_) {
        // Beyond the overflow limit the excess goes as anywhere on the line; the rest stays
        // in the port until an upload takes it.
        bool dropped = false;
        dropOverflow(line_, count, dropped);
        if (dropped)
            RxText.clear();
        return;
    }
    if (!UploadStarted) {
        UploadStarted = true;
        RxText.clear();
        append(QStringLiteral("Uploading Settings..."));
    }
    armReplyTimeout();
    // Every byte of an upload is kept, however it is split or bunched.
    RxText += line_.take(count);
    const qsizetype eot = RxText.indexOf(ctl(Ctl::EOT));
    if (eot < 0) {
        if (RxText.size() <= UploadLimit) {
            line_.armReplyTimer(false, 0);
            return;
        }
        qCWarning(lcTransfer) << "upload without an end after" << RxText.size() << "bytes";
        RxText.clear();
        const bool refused = line_.send(QByteArray(1, ctl(Ctl::NAK)));
        if (!refused)
            qCWarning(lcTransfer) << "the NAK to an endless upload did not go out";
        end(TransferEnding::UploadTooLong);
        return;
    }
    // The text ends at the EOT; what follows it in the same read is not upload text.
    const QByteArray text = RxText.left(eot);
    RxText.clear();
    uploadEnded(text);
}

void TransferControl::uploadEnded(const QByteArray& text)
{
    AnswerTimer.stop();
    std::optional<TransferEnding> failed;
    const qsizetype stx = text.lastIndexOf(ctl(Ctl::STX));
    QString why;
    if (stx < 0) {
        failed = TransferEnding::UploadWithoutStx;
    } else {
        const QByteArray body = text.mid(stx + 1);
        // A read-back or a comparison's read is compared, never kept: the last upload's copy
        // stays as it was.
        SaveFailure stage = SaveFailure::None;
        if (!verifying_ && !port_.inMemory
            && !saveFile(QDir(folder_).filePath(QStringLiteral("Upload.Txt")), body, &why, &stage)) {
            failed = stage == SaveFailure::Create ? TransferEnding::UploadNotSaved
                                                  : TransferEnding::UploadNotWritten;
        } else {
            UploadContext context = view_.transferInputs().upload;
            context.lineCount = port_.uploadRecords;
            const UploadParse parse = parseUpload(body, context);
            recordCountNote_ = recordCountProblem(body, port_.uploadRecords, port_.secondOutput);
            if (!recordCountNote_.isEmpty())
                append(recordCountNote_);
            UploadList = parse.lines;
            lastUploadComplete_ = parse.outcome == UploadParse::Outcome::Complete;
            if (parse.outcome == UploadParse::Outcome::Incomplete)
                failed = TransferEnding::UploadIncomplete;
            else if (parse.outcome == UploadParse::Outcome::Error)
                failed = TransferEnding::UploadUnparsable;
        }
    }
    state_ = TransferState::Idle;
    // The indicator hears at once whether its setup was taken; the run ends after.
    const bool answered = line_.send(QByteArray(1, failed ? ctl(Ctl::NAK) : ctl(Ctl::ACK)));
    if (failed) {
        if (!answered)
            qCWarning(lcTransfer) << "the NAK to a failed upload did not go out";
        end(*failed, why);
        return;
    }
    if (!answered) {
        end(TransferEnding::SendFailed, line_.failure());
        return;
    }
    if (verifying_) {
        verifyRead(UploadList);
        return;
    }
    if (!backingUp_) {
        end(TransferEnding::UploadComplete);
        return;
    }
    // The backup before a download: the download goes ahead only once it is safe on disk.
    append(QStringLiteral("Upload Complete!"));
    if (!backupTaken(UploadList)) {
        backingUp_ = false;
        end(TransferEnding::BackupNotSaved);
        return;
    }
    backingUp_ = false;
    beginEntryWait(TransferDirection::Download, false);
}

bool TransferControl::stopBeforeWrite()
{
    if (!running_ || !stopCheck_ || !stopCheck_())
        return false;
    qCInfo(lcTransfer) << "a stop came before the write: nothing more goes out";
    cancel();
    return true;
}

bool TransferControl::entrySettled() const
{
    return entryAnswers_ >= entryCopies_ || clock_.nowMs() - lastEntryAt_ >= ReplyTimeout.count();
}

} // namespace kx
