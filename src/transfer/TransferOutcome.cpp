#include "transfer/TransferOutcome.h"

#include <iterator>

namespace kx {
namespace {

struct EndingRow
{
    TransferEnding ending;
    Outcome outcome;
    const char* text;
};

// The closing lines of a settings transfer, with what each means for its caller.
constexpr EndingRow kEndings[] = {
    {TransferEnding::UploadComplete, Outcome::Completed, "Upload Complete!"},
    {TransferEnding::DownloadComplete, Outcome::Completed, "Download complete!"},
    {TransferEnding::NoPortSelected, Outcome::LineFailed, "No Communications Port Selected."},
    {TransferEnding::PortNotOpen, Outcome::LineFailed, "Error Opening Communications Port."},
    {TransferEnding::TokenBusy, Outcome::LineFailed,
     "Error Initializing Transfer. Try Again Later."},
    {TransferEnding::NoEntryAnswer, Outcome::NoAnswer, "No answer from the KX7400."},
    {TransferEnding::PortClosedAtStep, Outcome::LineFailed,
     "Communication Port Error. Action Failed."},
    {TransferEnding::SendFailed, Outcome::LineFailed, "Communication Port Error. Action Failed."},
    {TransferEnding::LineLost, Outcome::LineFailed, "Communication Port Error. Action Failed."},
    {TransferEnding::Abandoned, Outcome::Refused, "KX7400 Abandoned Operation!"},
    {TransferEnding::Aborted, Outcome::Refused, "Download Failed!"},
    {TransferEnding::ReplyTimerExpired, Outcome::NoAnswer, "Timeout Occurred!"},
    {TransferEnding::NoReply, Outcome::NoAnswer, "Timeout Occurred!"},
    {TransferEnding::UploadWithoutStx, Outcome::FileRejected, "Upload Failed."},
    {TransferEnding::UploadTooLong, Outcome::FileRejected, "Upload Failed."},
    {TransferEnding::UploadNotSaved, Outcome::FileRejected, "Upload Failed...."},
    {TransferEnding::UploadNotWritten, Outcome::FileRejected, "Upload Failed..."},
    {TransferEnding::UploadIncomplete, Outcome::FileRejected, "Upload Failed.."},
    {TransferEnding::UploadUnparsable, Outcome::FileRejected,
     "Upload Failed.. Error Parsing Data."},
    {TransferEnding::DownloadNotBuilt, Outcome::FileRejected, "Operation Failed."},
    {TransferEnding::BackupNotRead, Outcome::BackupFailed,
     "The indicator's setup could not be read for a backup: nothing was sent."},
    {TransferEnding::BackupNotSaved, Outcome::BackupFailed,
     "The backup could not be saved: nothing was sent."},
    // The panel writes "Action Cancelled" itself as its button is pressed.
    {TransferEnding::Cancelled, Outcome::Cancelled, ""},
    {TransferEnding::CancelledAfterCommand, Outcome::Cancelled,
     "Download cancelled: the indicator may be waiting; its setup was not changed"},
    {TransferEnding::CancelledAfterData, Outcome::Cancelled,
     "Download cancelled after the data went out: the indicator may have taken it."},
    {TransferEnding::Closed, Outcome::Cancelled, ""},
    // The verify writes its own line (how many, or which settings) before this one.
    {TransferEnding::DownloadVerified, Outcome::Completed, "Download complete!"},
    {TransferEnding::VerifyDiffers, Outcome::NotAsSent,
     "Verify failed: the KX7400 does not hold every setting sent."},
    {TransferEnding::VerifyNotRead, Outcome::NoAnswer,
     "Download complete, not verified: the KX7400's setup could not be read back."},
    // The indicator took the data; only the check of it was stopped.
    {TransferEnding::VerifyStopped, Outcome::Completed,
     "Download complete, not verified: the read-back was stopped."},
};

const EndingRow& row(TransferEnding ending)
{
    for (const EndingRow& r : kEndings)
        if (r.ending == ending)
            return r;
    return kEndings[std::size(kEndings) - 1];
}

} // namespace

Outcome transferOutcome(TransferEnding ending)
{
    return row(ending).outcome;
}

QString transferEndingText(TransferEnding ending)
{
    return QString::fromLatin1(row(ending).text);
}

QString verifyWord(TransferResult::Verify v)
{
    switch (v) {
    case TransferResult::Verify::Verified:
        return QStringLiteral("verified");
    case TransferResult::Verify::Differs:
        return QStringLiteral("differs");
    case TransferResult::Verify::NotRead:
        return QStringLiteral("not read");
    case TransferResult::Verify::NotRun:
        break;
    }
    return QStringLiteral("not verified");
}

} // namespace kx
