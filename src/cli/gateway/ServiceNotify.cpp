#include "cli/gateway/ServiceNotify.h"

#include <systemd/sd-daemon.h>

namespace kx::cli {

ServiceNotify::ServiceNotify(QObject* parent) : QObject(parent)
{
    active_ = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    uint64_t usec = 0;
    // The watchdog is fed from the loop itself: a loop that hangs stops feeding it, and the
    // service manager restarts us.
    if (active_ && sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdog_.setInterval(int(std::max<uint64_t>(usec / 2000, 50)));
        connect(&watchdog_, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
        watchdog_.start();
    }
}

void ServiceNotify::send(const QByteArray& text)
{
    if (active_)
        sd_notify(0, text.constData());
}

void ServiceNotify::ready(const QString& status)
{
    lastStatus_ = status;
    send("READY=1\nSTATUS=" + status.toUtf8());
}

void ServiceNotify::status(const QString& status)
{
    if (status == lastStatus_)
        return;
    lastStatus_ = status;
    send("STATUS=" + status.toUtf8());
}

void ServiceNotify::reloading()
{
    send("RELOADING=1");
}

void ServiceNotify::stopping()
{
    watchdog_.stop();
    send("STOPPING=1");
}

} // namespace kx::cli
