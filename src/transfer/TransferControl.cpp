#include "transfer/TransferControl.h"

#include "link/PollCycle.h"
#include "link/SerialTypes.h"
#include "settings/SafeSave.h"
#include "settings/SettingsCheck.h"
#include "transfer/DownloadRecords.h"

#include <QDir>
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

} // namespace

TransferControl::TransferControl(Clock& clock, MainLine& line, EditorView& view, QString folder)
    : clock_(clock), line_(line), view_(view), folder_(std::move(folder)),
      ParameterTimer(clock, EditorTick.count()), EntryTimer(clock, EntryWaitStep.count())
{
    ParameterTimer.setOnTimer([this] { ParameterTimerTimer(); });
    EntryTimer.setOnTimer([this] { entryWaited(); });
}

void TransferControl::append(const QString& line)
{
    view_.ShowTransferStatus(line, false, false, false);
}

void TransferControl::finish(const QString& line)
{
    running_ = false;
    if (backingUp_) {
        // The backup read before a download ended without the setup: nothing is sent.
        backingUp_ = false;
        view_.ShowTransferStatus(line, false, false, false);
        view_.ShowTransferStatus(QStringLiteral("The indicator's setup could not be read for a "
                                                "backup: nothing was sent."),
                                 false, true, false);
        return;
    }
    view_.ShowTransferStatus(line, false, true, false);
}

void TransferControl::editorOpened()
{
    state_ = TransferState::Idle;
    ParameterTimer.start();
}

void TransferControl::editorClosed()
{
    state_ = TransferState::Idle;
    TransferCommand = 0;
    waiting_ = false;
    running_ = false;
    backingUp_ = false;
    EntryTimer.stop();
    TransferSemaphore.release();
    ParameterTimer.stop();
}

void TransferControl::ParameterTimerTimer()
{
    ParameterTimer.stop();
    if (reply_ == TransferReply::EntryAcknowledged && TransferCommand != 0)
        SendTransferCommand();
    else if (reply_ == TransferReply::Ready && state_ == TransferState::DownloadCommanded)
        SendDownloadData();
    view_.refreshEditorClock();
    ParameterTimer.start();
}

void TransferControl::start(TransferDirection direction, const PortFacts& port)
{
    if (running_ || waiting_)
        return;
    port_ = port;
    lastUploadComplete_ = false;
    backingUp_ = direction == TransferDirection::Download && !port.backupFolder.isEmpty();
    running_ = true;
    beginEntryWait(backingUp_ ? TransferDirection::Upload : direction, true);
}

void TransferControl::beginEntryWait(TransferDirection direction, bool openPanel)
{
    direction_ = direction;
    // An acknowledgement from an earlier transfer must not let this one go ahead.
    reply_ = TransferReply::None;
    waiting_ = true;
    view_.ShowTransferStatus(openingText(direction), openPanel, false, false);
    spinner_.clear();
    count_ = EntryWaitSteps;
    entryStep();
}

bool TransferControl::backupTaken(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + "\r\n";
    const QString path = QDir(port_.backupFolder)
                             .filePath(clock_.localDateTime().toString(
                                           QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
                                       + QStringLiteral(".dat"));
    QString why;
    QDir().mkpath(port_.backupFolder);
    if (!saveFile(path, text, &why)) {
        append(why);
        return false;
    }
    append(QStringLiteral("Backup saved: %1").arg(QDir::toNativeSeparators(path)));
    return true;
}

void TransferControl::cancel()
{
    running_ = false;
}

// One pass of the entry wait, up to its 2 ms wait for the token: the request goes out on the
// first pass and every EntryRequestEvery passes after it.
void TransferControl::entryStep()
{
    if (!waiting_)
        return;
    if (count_ <= 0 || !running_) {
        endEntryWait(false);
        return;
    }
    if (count_ % EntryRequestEvery == 0) {
        TransferSemaphore.release();
        view_.ShowTransferStatus(refreshText(direction_) + spinner_, false, false, true);
        spinner_ = spinner_ == QLatin1String("\\") ? QStringLiteral("/") : QStringLiteral("\\");
        if (!SendEntryRequest(port_.portNumber)) {
            endEntryWait(false);
            return;
        }
    }
    EntryTimer.start();
}

void TransferControl::entryWaited()
{
    EntryTimer.stop();
    if (!waiting_)
        return;
    // The reply handling gives the token back when the indicator answers.
    if (TransferSemaphore.take()) {
        count_ = 0;
        endEntryWait(true);
        return;
    }
    --count_;
    entryStep();
}

void TransferControl::endEntryWait(bool answered)
{
    waiting_ = false;
    EntryTimer.stop();
    TransferSemaphore.release();
    // Cancelled, refused, or the request could not go out: the panel already says so.
    if (!running_)
        return;
    if (direction_ == TransferDirection::Upload) {
        if (reply_ == TransferReply::EntryAcknowledged && answered)
            TransferCommand = 'u';
        return;
    }
    if (reply_ != TransferReply::EntryAcknowledged)
        return;
    if (!answered) {
        finish(QStringLiteral("KX7400 is not ready. Operation Failed."));
        return;
    }
    append(QStringLiteral("Preparing download string..."));
    BuildDownload();
}

bool TransferControl::SendEntryRequest(int portNumber)
{
    if (portNumber == 0) {
        finish(QStringLiteral("No Communications Port Selected."));
        return false;
    }
    if (!line_.isOpen()) {
        finish(QStringLiteral("Error Opening Communications Port."));
        return false;
    }
    if (!TransferSemaphore.take()) {
        finish(QStringLiteral("Error Initializing Transfer. Try Again Later."));
        return false;
    }
    state_ = TransferState::EntryRequested;
    line_.send("pcmode");
    // The editor timer's next step comes a whole period after the request.
    ParameterTimer.stop();
    ParameterTimer.start();
    return true;
}

void TransferControl::BuildDownload()
{
    const TransferInputs inputs = view_.transferInputs();
    DownloadSource source;
    source.tickedUnits = inputs.tickedUnits;
    source.fieldBus = inputs.fieldBus;
    source.secondOutput = port_.secondOutput;
    source.now = clock_.localDateTime();

    QString unreadable;
    const auto text = readSettingsText(inputs.settingsFile, &unreadable);
    if (!text) {
        append(unreadable);
        finish(QStringLiteral("Operation Failed."));
        return;
    }
    source.fileText = *text;

    const DownloadBuild build = buildDownloadRecords(source);
    for (const QString& line : build.failures)
        append(line);
    if (!build.ok()) {
        finish(QStringLiteral("Operation Failed."));
        return;
    }
    QString why;
    if (!saveFile(QDir(folder_).filePath(QStringLiteral("Download.Txt")), build.records, &why)) {
        append(QStringLiteral("Unable to Save Local Copy."));
        append(why);
        finish(QStringLiteral("Operation Failed."));
        return;
    }
    DownloadData = build.records;
    TransferCommand = 'd';
}

void TransferControl::SendTransferCommand()
{
    const char command = TransferCommand;
    TransferCommand = 0;
    if (!line_.isOpen()) {
        finish(QStringLiteral("Communication Port Error. Action Failed."));
        return;
    }
    line_.discardInput();
    RxText.clear();
    if (command == 'd') {
        state_ = TransferState::DownloadCommanded;
        append(QStringLiteral("Beginning download..."));
    } else {
        state_ = TransferState::Uploading;
        append(QStringLiteral("Beginning upload..."));
        UploadStarted = false;
    }
    line_.send(QByteArray(1, command));
}

void TransferControl::SendDownloadData()
{
    if (!line_.isOpen()) {
        finish(QStringLiteral("Communication Port Error. Action Failed."));
        return;
    }
    append(QStringLiteral("Downloading Settings..."));
    line_.discardInput();
    state_ = TransferState::DownloadDataSent;
    // One burst: the indicator takes the records as they come.
    line_.send(ctl(Ctl::STX) + DownloadData + ctl(Ctl::EOT));
}

void TransferControl::onAck()
{
    switch (state_) {
    case TransferState::EntryRequested:
        reply_ = TransferReply::EntryAcknowledged;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Acknowledgment Received!"));
        break;
    case TransferState::DownloadDataSent:
        reply_ = TransferReply::DownloadAcknowledged;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Acknowledgment Received!"));
        finish(QStringLiteral("Download complete!"));
        break;
    default:
        qCDebug(lcTransfer) << "ACK outside a handshake ignored";
        break;
    }
}

void TransferControl::onNak()
{
    reply_ = TransferReply::Refused;
    state_ = TransferState::Idle;
    TransferSemaphore.release();
    finish(QStringLiteral("KX7400 Abandoned Operation!"));
}

void TransferControl::onReady()
{
    if (state_ == TransferState::DownloadDataSent) {
        reply_ = TransferReply::Refused;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Aborted Action!"));
        finish(QStringLiteral("Download Failed!"));
        return;
    }
    reply_ = TransferReply::Ready;
    append(QStringLiteral("KX7400 Ready Response Received!"));
}

void TransferControl::onReplyTimeout()
{
    RxText.clear();
    state_ = TransferState::Idle;
    finish(QStringLiteral("Timeout Occurred!"));
}

void TransferControl::onDataAvailable(int count)
{
    if (state_ != TransferState::Uploading) {
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
        finish(QStringLiteral("Upload Failed."));
        line_.send(QByteArray(1, ctl(Ctl::NAK)));
        state_ = TransferState::Idle;
        return;
    }
    // The text ends at the EOT; what follows it in the same read is not upload text.
    const QByteArray text = RxText.left(eot);
    RxText.clear();
    uploadEnded(text);
}

void TransferControl::uploadEnded(const QByteArray& text)
{
    bool result = false;
    const qsizetype stx = text.lastIndexOf(ctl(Ctl::STX));
    if (stx < 0) {
        finish(QStringLiteral("Upload Failed."));
    } else {
        const QByteArray body = text.mid(stx + 1);
        QString why;
        if (!saveFile(QDir(folder_).filePath(QStringLiteral("Upload.Txt")), body, &why)) {
            finish(QStringLiteral("Upload Failed...."));
            append(why);
        } else {
            UploadContext context = view_.transferInputs().upload;
            context.lineCount = port_.uploadRecords;
            const UploadParse parse = parseUpload(body, context);
            UploadList = parse.lines;
            lastUploadComplete_ = parse.outcome == UploadParse::Outcome::Complete;
            switch (parse.outcome) {
            case UploadParse::Outcome::Complete:
                result = true;
                if (backingUp_)
                    append(QStringLiteral("Upload Complete!"));
                else
                    finish(QStringLiteral("Upload Complete!"));
                break;
            case UploadParse::Outcome::Incomplete:
                finish(QStringLiteral("Upload Failed.."));
                break;
            case UploadParse::Outcome::Error:
                finish(QStringLiteral("Upload Failed.. Error Parsing Data."));
                break;
            }
        }
    }
    line_.send(QByteArray(1, result ? ctl(Ctl::ACK) : ctl(Ctl::NAK)));
    state_ = TransferState::Idle;
    if (!backingUp_ || !result)
        return;
    // The backup before a download: the download goes ahead only once it is safe on disk.
    backingUp_ = false;
    if (backupTaken(UploadList)) {
        beginEntryWait(TransferDirection::Download, false);
        return;
    }
    finish(QStringLiteral("The backup could not be saved: nothing was sent."));
}

} // namespace kx
