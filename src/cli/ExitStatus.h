#pragma once

#include "link/Outcome.h"

namespace kx::cli {

// Exit statuses of every command, as the README and the man page give them.
enum Exit
{
    Success = 0,
    Refused = 1, // the indicator refused, a file is bad, or the user stopped the command
    Usage = 2,
    PortError = 3,
    TimedOut = 4,
    // The command did its work, but a record of it was not kept: the protocol log (--log), or
    // a write's logbook line.
    LogNotKept = 5,
    NotVerified = 6, // written and acknowledged, but read back the indicator holds otherwise
    // download --dry-run: the download would change settings (no failure; a bad file is 1).
    WouldChange = 7,
};

// The one place where an engine's outcome becomes an exit status.
Exit exitStatusFor(Outcome outcome);

// Of two lines' statuses, the one a command over several lines ends with: the one that leaves
// its indicator in the worse state. From least to most severe: 0 as sent; 5 done, the log not
// kept; 1 refused or stopped; 3 port error (nothing reached it); 4 time-out (what it holds is
// in doubt); 6 holds other than was sent (known wrong). A usage error (2) is never a line's.
int worseStatus(int a, int b);

} // namespace kx::cli
