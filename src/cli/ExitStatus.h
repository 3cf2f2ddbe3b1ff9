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
    LogNotKept = 5, // the command did its work, but the protocol log (--log) was not kept
    NotVerified = 6, // written and acknowledged, but read back the indicator holds otherwise
};

// The one place where an engine's outcome becomes an exit status.
Exit exitStatusFor(Outcome outcome);

} // namespace kx::cli
