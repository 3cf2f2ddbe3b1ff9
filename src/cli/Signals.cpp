#include "cli/Signals.h"

#include "cli/platform/Stop.h"

#include <QCoreApplication>
#include <QTimer>
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

std::function<void()> gStop;
std::function<void()> gReload;
std::atomic<bool> gReloadAsked{false};

void onReload(int)
{
    gReloadAsked.store(true);
}

} // namespace

void watchServiceSignals(std::function<void()> stop, std::function<void()> reload)
{
    gStop = std::move(stop);
    gReload = std::move(reload);
    // A first stop signal only asks; the loop sees it on its next look, as it sees a reload.
    static StopOnTurn onTurn;
    platform::installReloadHandler(onReload);
    platform::ignoreBrokenPipes();
    // A look every 50 ms: a handler may only set a flag, and no system has one way to wake
    // an event loop from inside a handler.
    // Owned by the application, so it goes with it however the run ends.
    auto* look = new QTimer(QCoreApplication::instance());
    look->setInterval(50);
    QObject::connect(look, &QTimer::timeout, [look] {
        if (gReloadAsked.exchange(false) && gReload)
            gReload();
        if (gSignal.load() != 0) {
            look->stop();
            if (gStop)
                gStop();
        }
    });
    look->start();
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
