#pragma once

#include <QString>

// Who the process runs as, for the record of what it wrote: the one part of the logbook that
// differs between POSIX and Windows. AccountPosix.cpp and AccountWindows.cpp are the two
// halves; a build compiles the one for its system.
namespace kx::platform {

// The login name of the process's real user, as the system's account database knows it; the
// number ("uid 1000") when it has no name for it. Never from the environment, which anyone
// may set.
QString accountName();

} // namespace kx::platform
