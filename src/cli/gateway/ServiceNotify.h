#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace kx::cli {

// What the service manager hears from us: READY=1 once, STATUS= when it changes, WATCHDOG=1
// from the event loop at half the interval it asks for. Without NOTIFY_SOCKET (a terminal, a
// test without one) every call does nothing.
class ServiceNotify : public QObject
{
    Q_OBJECT
public:
    explicit ServiceNotify(QObject* parent = nullptr);

    bool active() const { return active_; }
    void ready(const QString& status);
    void status(const QString& status);
    void reloading();
    void stopping();

private:
    void send(const QByteArray& text);

    bool active_ = false;
    QString lastStatus_;
    QTimer watchdog_;
};

} // namespace kx::cli
