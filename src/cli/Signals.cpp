#include "cli/Signals.h"

#include "cli/platform/Stop.h"

#include <atomic>
#include <csignal>
#include <cstring>

namespace kx::cli {
namespace {

std::atomic<int> gSignal{0};
QString gCommand;
std::atomic<int> gOnTurn{0};
// Written before the handlers go in; a handler may only write what is ready.
char gIntText[160];
char gTermText[160];

void onSignal(int sig)
{
    const bool first = gSignal.exchange(sig) == 0;
    if (first && gOnTurn.load() > 0)
        return;
    platform::stopNow(sig == SIGTERM ? gTermText : gIntText, StoppedStatus);
}

void prepare(char* buffer, const QByteArray& command, const char* name)
{
    const QByteArray text = "kxlink-cli " + command + ": stopped by " + name + ".\n";
    std::strncpy(buffer, text.constData(), 159);
    buffer[159] = '\0';
}

std::atomic<bool> gReloadAsked{false};

void onReload(int)
{
    gReloadAsked.store(true);
}

} // namespace

void watchReloadSignal()
{
    platform::installReloadHandler(onReload);
}

bool takeReloadRequest()
{
    return gReloadAsked.exchange(false);
}

void watchSignals(const QString& command)
{
    gCommand = command;
    prepare(gIntText, command.toLocal8Bit().left(100), "SIGINT");
    prepare(gTermText, command.toLocal8Bit().left(100), "SIGTERM");
    platform::installStopHandler(onSignal);
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
