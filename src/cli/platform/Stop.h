#pragma once

// Where the command line meets the system's ways of asking a program to stop: signals on
// POSIX, the console's control events on Windows. StopPosix.cpp and StopWindows.cpp are the
// two halves; a build compiles the one for its system, and nothing else in the program
// needs to know which.
namespace kx::cli::platform {

// Called with SIGINT for Ctrl-C and with SIGTERM when the program is told to end (kill; on
// Windows the console window closed, a log-off or a shut-down). It runs as a signal handler
// on POSIX and on a thread of the system's own on Windows: it may touch atomics and call
// stopNow(), nothing else.
using StopHandler = void (*)(int sig);
void installStopHandler(StopHandler handler);

// Called when the program is asked to read its configuration again (SIGHUP on POSIX; the
// console has no such event, so on Windows it is never called). The same rules as above.
void installReloadHandler(StopHandler handler);

// Writes text, made ready beforehand, to standard error and ends the process with status at
// once; safe inside the handler.
[[noreturn]] void stopNow(const char* text, int status);

// A peer that goes away while we write to it fails that write instead of ending the process.
void ignoreBrokenPipes();

} // namespace kx::cli::platform
