#include "link/SteppedClock.h"
#include "link/Timer.h"

#include <QTest>

using namespace kx;

class TimerTest : public QObject
{
    Q_OBJECT

    SteppedClock* clock = nullptr;
    Timer* timer = nullptr;
    QList<qint64> ticks;

private slots:
    void init()
    {
        clock = new SteppedClock(1000);
        ticks.clear();
        timer = new Timer(*clock, 100, [this] { ticks.append(clock->nowMs()); });
    }
    void cleanup()
    {
        delete timer;
        delete clock;
    }

    void ticksAtItsIntervalOnceEnabled()
    {
        clock->advance(500);
        QVERIFY(ticks.isEmpty());
        timer->start();
        clock->advance(350);
        QCOMPARE(ticks, (QList<qint64>{1600, 1700, 1800}));
    }

    // Frames arriving faster than the tick re-enable the timer over and over; the tick must
    // still come on time.
    void enablingAnEnabledTimerKeepsItsPhase()
    {
        timer->start();
        for (int i = 0; i < 10; ++i) {
            clock->advance(40);
            timer->start();
        }
        QCOMPARE(ticks, (QList<qint64>{1100, 1200, 1300, 1400}));
    }

    void intervalZeroPausesWhileStayingEnabled()
    {
        timer->start();
        clock->advance(150);
        timer->setInterval(0);
        clock->advance(1000);
        QCOMPARE(ticks.size(), 1);
        QVERIFY(timer->enabled());
        QVERIFY(!timer->ticking());

        timer->setInterval(100);
        clock->advance(250);
        QCOMPARE(ticks, (QList<qint64>{1100, 2250, 2350}));
    }

    void stoppedTimerResumedByIntervalDoesNotTick()
    {
        timer->setInterval(0);
        timer->setInterval(100);
        clock->advance(500);
        QVERIFY(ticks.isEmpty());
    }

    // A handler that stops its timer at the start and restarts it at the end gets a fresh
    // phase from the end of its work, as the poll cycle relies on.
    void handlerThatRestartsItselfRestartsThePhase()
    {
        timer->setOnTimer([this] {
            timer->stop();
            ticks.append(clock->nowMs());
            clock->advance(30); // the handler's own work
            timer->start();
        });
        timer->start();
        clock->advance(400);
        QCOMPARE(ticks, (QList<qint64>{1100, 1230, 1360}));
    }

    void sameIntervalChangesNothing()
    {
        timer->start();
        clock->advance(60);
        timer->setInterval(100);
        clock->advance(40);
        QCOMPARE(ticks, (QList<qint64>{1100}));
    }
};

QTEST_GUILESS_MAIN(TimerTest)
#include "tst_timer.moc"
