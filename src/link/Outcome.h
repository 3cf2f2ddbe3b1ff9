#pragma once

#include <QString>
#include <cstdint>

namespace kx {

// How a run of an engine on the line ended. Every run ends with exactly one of these, given
// once to the engine's listener; windows and kxlink-cli act on it, never on a status text.
enum class Outcome : std::int8_t
{
    Completed,    // it did what was asked
    Refused,      // the indicator said no (NAK, or "ready" instead of its ACK)
    NoAnswer,     // a wait ran out; the detail names what was awaited
    LineFailed,   // a send, a flush or the port itself failed; the detail says why
    Cancelled,    // the user's Cancel, Ctrl-C, or the window closing
    FileRejected, // a file or a received text could not be used
    BackupFailed, // the setup to be replaced could not be read or kept: nothing was sent
    NotAsSent,    // written and acknowledged, but read back it is not what was sent
};

// A word for logs and tests.
inline const char* outcomeName(Outcome o)
{
    switch (o) {
    case Outcome::Completed:
        return "completed";
    case Outcome::Refused:
        return "refused";
    case Outcome::NoAnswer:
        return "no answer";
    case Outcome::LineFailed:
        return "line failed";
    case Outcome::Cancelled:
        return "cancelled";
    case Outcome::FileRejected:
        return "file rejected";
    case Outcome::BackupFailed:
        return "backup failed";
    case Outcome::NotAsSent:
        return "not as sent";
    }
    return "?";
}

} // namespace kx
