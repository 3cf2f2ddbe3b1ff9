#include "cli/gateway/ServiceNotify.h"

// Only systemd's platforms have a service manager to tell: elsewhere the calls are no-ops.
#if __has_include(<systemd/sd-daemon.h>)
#include <systemd/sd-daemon.h>
#define KX_SD_NOTIFY 1
#endif

namespace kx::cli {

ServiceNotify::ServiceNotify(QObject* parent) : QObject(parent)
{
#ifdef KX_SD_NOTIFY
    active_ = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    uint64_t usec = 0;
    // The watchdog is fed from the loop itself: a loop that hangs stops feeding it, and the
    // service manager restarts us.
    if (active_ && sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdog_.setInterval(int(std::max<uint64_t>(usec / 2000, 50)));
        connect(&watchdog_, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
        watchdog_.start();
    }
#endif
}

void ServiceNotify::send(const QByteArray& text)
{
#ifdef KX_SD_NOTIFY
    if (active_)
        sd_notify(0, text.constData());
#else
    Q_UNUSED(text);
#endif
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
