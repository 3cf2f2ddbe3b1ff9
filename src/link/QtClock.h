#pragma once

#include "link/Clock.h"

#include <QElapsedTimer>
#include <QObject>
#include <unordered_map>

class QTimer;

namespace kx {

// The program's clock: precise QTimers and queued calls on the thread that owns it.
class QtClock final : public QObject, public Clock
{
    Q_OBJECT
public:
    explicit QtClock(QObject* parent = nullptr);
    ~QtClock() override;

    qint64 nowMs() const override;
    TimerId startTimer(qint64 delayMs, Callback cb) override;
    void cancelTimer(TimerId id) override;
    void post(Callback cb) override;

    // One clock for the whole program, created on first use on the UI thread.
    static QtClock& instance();

private:
    QElapsedTimer elapsed_;
    TimerId nextId_ = 1;
    std::unordered_map<TimerId, QTimer*> timers_;
};

} // namespace kx
