#pragma once

#include "link/Outcome.h"

#include <QString>
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
    NoPortSelected,     // the entry request found no port number
    PortNotOpen,        // ... or the port closed
    TokenBusy,          // ... or another handshake step holding the token
    NoEntryAnswer,      // the entry wait ran out
    PortClosedAtStep,   // the port was closed when the command or the data was due
    SendFailed,         // a send or a discard of input failed
    LineLost,           // the device went away
    Abandoned,          // the indicator sent NAK
    Aborted,            // "ready" instead of the ACK after the download data
    ReplyTimerExpired,  // the port's reply timer ran out
    NoReply,            // no reply within the transfer's own time-out after u, d or the data
    UploadWithoutStx,
    UploadTooLong,
    UploadNotSaved,   // Upload.Txt could not be created
    UploadNotWritten, // Upload.Txt was created, but writing or closing it failed
    UploadIncomplete,
    UploadUnparsable,
    DownloadNotBuilt,   // the settings file could not be read or made into records
    BackupNotRead,      // the backup before a download got no setup: nothing was sent
    BackupNotSaved,     // ... or could not keep it
    Cancelled,          // the user's Cancel before the indicator was told d
    CancelledAfterCommand, // ... after d, before the data
    CancelledAfterData, // ... after the data went out
    Closed,             // the editor closed during the run
};

// How a run ended, given once to the editor.
struct TransferResult
{
    TransferEnding ending = TransferEnding::Cancelled;
    Outcome outcome = Outcome::Cancelled;
    TransferDirection direction = TransferDirection::Upload;
    // The closing status line (empty when the panel writes its own, as for Cancel).
    QString text;
    // What was awaited, or why the line failed; empty when the text says it all.
    QString detail;
    // The indicator had been told d: it may still be waiting for the data.
    bool indicatorTold = false;
};

Outcome transferOutcome(TransferEnding ending);
// The status line that closes a run so ended; empty when the panel writes its own.
QString transferEndingText(TransferEnding ending);

} // namespace kx
