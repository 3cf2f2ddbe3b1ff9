#include "cli/platform/Stop.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kx::cli::platform {
namespace {

std::atomic<StopHandler> gHandler{nullptr};

// The console calls this on a thread of its own, not in place of the interrupted code, so
// the handler's "ask the loop to stop" works as it does for a signal.
BOOL WINAPI onControl(DWORD event)
{
    const StopHandler handler = gHandler.load();
    if (!handler)
        return FALSE;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        handler(SIGINT);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        handler(SIGTERM);
        // The system ends the process as soon as this returns (and after about five seconds
        // in any case): wait here so the command has its turn to stop and say what it
        // stopped. Its exit ends this thread with it.
        Sleep(4500);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void installStopHandler(StopHandler handler)
{
    gHandler.store(handler);
    SetConsoleCtrlHandler(onControl, TRUE);
}

void installReloadHandler(StopHandler)
{
    // A console sends no event that asks for a reload; a service restart does the same.
}

void stopNow(const char* text, int status)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
              &written, nullptr);
    ExitProcess(static_cast<UINT>(status));
}

void ignoreBrokenPipes()
{
    // Windows raises no signal for a closed pipe; the write fails with an error instead.
}

} // namespace kx::cli::platform
