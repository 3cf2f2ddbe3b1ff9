#include "cli/ExitStatus.h"

namespace kx::cli {

Exit exitStatusFor(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Completed:
        return Success;
    case Outcome::NoAnswer:
        return TimedOut;
    case Outcome::LineFailed:
        return PortError;
    // A stopped command did not do what was asked; the documented statuses have no word of
    // their own for it, and "refused" is what a script already tests for.
    case Outcome::Cancelled:
    case Outcome::Refused:
    case Outcome::FileRejected:
    case Outcome::BackupFailed:
        return Refused;
    case Outcome::NotAsSent:
        return NotVerified;
    }
    return Refused;
}

namespace {

int severity(int status)
{
    switch (status) {
    case Success:
        return 0;
    case LogNotKept:
        return 1;
    case Refused:
        return 2;
    case PortError:
        return 3;
    case TimedOut:
        return 4;
    case NotVerified:
        return 5;
    }
    return 6;
}

} // namespace

int worseStatus(int a, int b)
{
    return severity(b) > severity(a) ? b : a;
}

} // namespace kx::cli
