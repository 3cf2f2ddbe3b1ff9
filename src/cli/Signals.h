#pragma once

#include <QString>

namespace kx::cli {

// SIGINT and SIGTERM end a command, and say what they stopped.
//
// Where the command waits in its event loop for something it can end itself (a transfer
// under way, which the engine cancels; weigh and debug between lines), a signal only asks it
// to stop and the command ends on its next turn. Anywhere else (opening the port, reading or
// writing a file, a system call that blocks) the command ends at once: nothing has been sent
// that a cancel would have to take back. A second signal always ends it at once.
void watchSignals(const QString& command);

// The signal that asked the command to stop (SIGINT, SIGTERM), or 0.
int stopSignal();
bool stopRequested();
// "SIGINT" or "SIGTERM".
QString stopSignalName();
// What a command a signal stopped says: "kxlink-cli weigh: stopped by SIGINT[; what]."
QString stopMessage(const QString& what = {});

// For a command that runs as a service: SIGHUP (where the system has it) asks for the
// configuration to be read again. The handler only sets a flag; takeReloadRequest() takes
// it, on the loop (StopWatch looks at it beside the stop).
void watchReloadSignal();
bool takeReloadRequest();

// The exit status of a command a signal ended.
inline constexpr int StoppedStatus = 1;

// While one lives, a signal asks the command to stop instead of ending it at once.
class StopOnTurn
{
public:
    StopOnTurn();
    ~StopOnTurn();
    StopOnTurn(const StopOnTurn&) = delete;
    StopOnTurn& operator=(const StopOnTurn&) = delete;
};

} // namespace kx::cli
