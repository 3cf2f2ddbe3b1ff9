#include "cli/platform/Stop.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace kx::cli::platform {

void installStopHandler(StopHandler handler)
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a system call the signal meets returns instead of waiting on.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void installReloadHandler(StopHandler handler)
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &action, nullptr);
}

void stopNow(const char* text, int status)
{
    const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)written;
    ::_exit(status);
}

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace kx::cli::platform
