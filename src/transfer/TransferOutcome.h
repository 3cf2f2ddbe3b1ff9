#pragma once

#include "link/Outcome.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace kx {

enum class TransferDirection
{
    Upload,
    Download
};

// Every way a settings transfer can end. Each has its outcome and its closing status line in
// the one table of TransferOutcome.cpp.
enum class TransferEnding : std::int8_t
{
    UploadComplete,
    DownloadComplete,
    NoPortSelected,    // the entry request found no port number
    PortNotOpen,       // ... or the port closed
    TokenBusy,         // ... or another handshake step holding the token
    NoEntryAnswer,     // the entry wait ran out
    PortClosedAtStep,  // the port was closed when the command or the data was due
    SendFailed,        // a send or a discard of input failed
    LineLost,          // the device went away
    Abandoned,         // the indicator sent NAK
    Aborted,           // "ready" instead of the ACK after the download data
    ReplyTimerExpired, // the port's reply timer ran out
    NoReply,           // no reply within the transfer's own time-out after u, d or the data
    UploadWithoutStx,
    UploadTooLong,
    UploadNotSaved,   // Upload.Txt could not be created
    UploadNotWritten, // Upload.Txt was created, but writing or closing it failed
    UploadIncomplete,
    UploadUnparsable,
    DownloadNotBuilt,      // the settings file could not be read or made into records
    BackupNotRead,         // the backup before a download got no setup: nothing was sent
    BackupNotSaved,        // ... or could not keep it
    Cancelled,             // the user's Cancel before the indicator was told d
    CancelledAfterCommand, // ... after d, before the data
    CancelledAfterData,    // ... after the data went out
    Closed,                // the editor closed during the run
    DownloadVerified,      // acknowledged, read back, and every setting sent is held
    VerifyDiffers,         // acknowledged, read back, and some settings are not as sent
    VerifyNotRead,         // acknowledged, but the setup could not be read back
    VerifyStopped,         // acknowledged, and the read-back was cancelled or closed
};

// How a run ended, given once to the editor.
struct TransferResult
{
    TransferEnding ending = TransferEnding::Cancelled;
    Outcome outcome = Outcome::Cancelled;
    TransferDirection direction = TransferDirection::Upload;
    // A download of the indicator's setup just read with some of the editor's settings in it.
    bool partial = false;
    // The closing status line (empty when the panel writes its own, as for Cancel).
    QString text;
    // What was awaited, or why the line failed; empty when the text says it all.
    QString detail;
    // The indicator had been told d: it may still be waiting for the data.
    bool indicatorTold = false;
    // The download data went out and the run did not end with the indicator's verdict: it
    // may hold the new setup.
    bool mayHoldNewSetup = false;
    // An upload's record count that "Custom Outputs" did not expect; told even when quiet.
    QString recordCountNote;
    // A download's read-back: not run (off, or the download failed), or run with its result.
    enum class Verify { NotRun, Verified, Differs, NotRead } verify = Verify::NotRun;
    // The settings sent that the indicator does not hold as sent: "section/key: sent X, holds Y".
    QStringList differences;
    // How many settings the verify compared.
    int settingsCompared = 0;
    // The download data went out in this run (whatever came of it): a write for the logbook.
    bool dataSent = false;
    // What the data was built from: the settings file as named and its text.
    QString sentFile;
    QByteArray sentText;
    // The indicator's setup from before the write, where it was read (a backup), and where
    // that copy was kept.
    QList<QByteArray> setupBefore;
    QString backupPath;
    // The write's logbook line: why it is not in the logbook (empty: it is, or nothing was
    // written), and what the logbook said beside it (a cut logbook set aside).
    QString notLogged;
    QString logbookNote;
};

Outcome transferOutcome(TransferEnding ending);
// The status line that closes a run so ended; empty when the panel writes its own.
QString transferEndingText(TransferEnding ending);

// How a read-back ended, in one word or two, as the logbook and the CLI's tables say it.
QString verifyWord(TransferResult::Verify v);

} // namespace kx
