#include "cli/Signals.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace kx::cli {
namespace {

std::atomic<int> gSignal{0};
QString gCommand;
std::atomic<int> gOnTurn{0};
// Written before the handlers go in; a handler may only write() what is ready.
char gIntText[160];
char gTermText[160];

void onSignal(int sig)
{
    const bool first = gSignal.exchange(sig) == 0;
    if (first && gOnTurn.load() > 0)
        return;
    const char* text = sig == SIGTERM ? gTermText : gIntText;
    const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)written;
    ::_exit(StoppedStatus);
}

void prepare(char* buffer, const QByteArray& command, const char* name)
{
    const QByteArray text = "kxlink-cli " + command + ": stopped by " + name + ".\n";
    std::strncpy(buffer, text.constData(), 159);
    buffer[159] = '\0';
}

// The service's signals reach the event loop through this pipe, as any byte would.
int gWake[2] = {-1, -1};
std::function<void()> gStop;
std::function<void()> gReload;

void onServiceSignal(int sig)
{
    if (sig != SIGHUP && gSignal.exchange(sig) != 0) {
        const char* text = sig == SIGTERM ? gTermText : gIntText;
        const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
        (void)written;
        ::_exit(StoppedStatus);
    }
    const char byte = sig == SIGHUP ? 'H' : 'S';
    const ssize_t written = ::write(gWake[1], &byte, 1);
    (void)written;
}

} // namespace

void watchServiceSignals(std::function<void()> stop, std::function<void()> reload)
{
    gStop = std::move(stop);
    gReload = std::move(reload);
    if (gWake[0] < 0 && ::pipe(gWake) != 0)
        return;
    auto* notifier = new QSocketNotifier(gWake[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte = 0;
        if (::read(gWake[0], &byte, 1) != 1)
            return;
        if (byte == 'H' && gReload)
            gReload();
        else if (byte == 'S' && gStop)
            gStop();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onServiceSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void watchSignals(const QString& command)
{
    gCommand = command;
    prepare(gIntText, command.toLocal8Bit().left(100), "SIGINT");
    prepare(gTermText, command.toLocal8Bit().left(100), "SIGTERM");
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a system call the signal meets returns instead of waiting on.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int stopSignal()
{
    return gSignal.load();
}

bool stopRequested()
{
    return gSignal.load() != 0;
}

QString stopSignalName()
{
    return gSignal.load() == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT");
}

QString stopMessage(const QString& what)
{
    return QStringLiteral("kxlink-cli %1: stopped by %2%3.")
        .arg(gCommand, stopSignalName(),
             what.isEmpty() ? QString() : QStringLiteral("; ") + what);
}

StopOnTurn::StopOnTurn()
{
    ++gOnTurn;
}

StopOnTurn::~StopOnTurn()
{
    --gOnTurn;
}

} // namespace kx::cli
