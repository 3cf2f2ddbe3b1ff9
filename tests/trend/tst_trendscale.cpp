#include "trend/TrendScale.h"

#include <QTest>

using namespace kx;

namespace {

qint64 at(int h, int m, int s, int ms = 0)
{
    return ((qint64(h) * 60 + m) * 60 + s) * 1000 + ms;
}

} // namespace

// The trend's axes: time ticks on round local times, weight ticks on round steps that hug
// what is shown.
class TrendScaleTest : public QObject
{
    Q_OBJECT

private slots:
    void timeTicksFallOnRoundTimes_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<qint64>("offset"); // the local zone's offset from UTC
        QTest::addColumn<int>("maxTicks");
        QTest::addColumn<qint64>("step");
        QTest::addColumn<QList<qint64>>("ticks"); // in local time

        QTest::newRow("a minute, on the minute")
            << at(15, 6, 0) << at(15, 7, 0) << qint64(0) << 7 << qint64(10'000)
            << QList<qint64>{at(15, 6, 0),  at(15, 6, 10), at(15, 6, 20), at(15, 6, 30),
                             at(15, 6, 40), at(15, 6, 50), at(15, 7, 0)};
        QTest::newRow("a minute, between seconds")
            << at(15, 6, 7, 300) << at(15, 7, 7, 300) << qint64(0) << 7 << qint64(10'000)
            << QList<qint64>{at(15, 6, 10), at(15, 6, 20), at(15, 6, 30),
                             at(15, 6, 40), at(15, 6, 50), at(15, 7, 0)};
        QTest::newRow("a minute, narrow")
            << at(15, 6, 7) << at(15, 7, 7) << qint64(0) << 3 << qint64(30'000)
            << QList<qint64>{at(15, 6, 30), at(15, 7, 0)};
        QTest::newRow("ten minutes")
            << at(9, 3, 20) << at(9, 13, 20) << qint64(0) << 7 << qint64(120'000)
            << QList<qint64>{at(9, 4, 0), at(9, 6, 0), at(9, 8, 0), at(9, 10, 0), at(9, 12, 0)};
        QTest::newRow("an hour") << at(23, 30, 5) << at(24, 30, 5) << qint64(0) << 11
                                 << qint64(600'000)
                                 << QList<qint64>{at(23, 40, 0), at(23, 50, 0), at(24, 0, 0),
                                                  at(24, 10, 0), at(24, 20, 0), at(24, 30, 0)};
        QTest::newRow("eight hours")
            << at(6, 59, 59) << at(14, 59, 59) << qint64(0) << 11 << qint64(3'600'000)
            << QList<qint64>{at(7, 0, 0),  at(8, 0, 0),  at(9, 0, 0),  at(10, 0, 0),
                             at(11, 0, 0), at(12, 0, 0), at(13, 0, 0), at(14, 0, 0)};
        // A zone half an hour off UTC: the local hour, not UTC's.
        QTest::newRow("eight hours, half an hour off")
            << at(7, 0, 0) - at(5, 30, 0) << at(15, 0, 0) - at(5, 30, 0) << at(5, 30, 0) << 6
            << qint64(7'200'000)
            << QList<qint64>{at(8, 0, 0), at(10, 0, 0), at(12, 0, 0), at(14, 0, 0)};
        // Before the epoch (a clock set wrong) the ticks still fall on round times.
        QTest::newRow("before the epoch")
            << -at(0, 0, 25) << at(0, 0, 35) << qint64(0) << 7 << qint64(10'000)
            << QList<qint64>{-at(0, 0, 20), -at(0, 0, 10), 0,
                             at(0, 0, 10),  at(0, 0, 20),  at(0, 0, 30)};
    }
    void timeTicksFallOnRoundTimes()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(qint64, offset);
        QFETCH(int, maxTicks);
        QFETCH(qint64, step);
        QFETCH(QList<qint64>, ticks);
        const TimeTicks t = timeTicks(from, to, offset, maxTicks);
        QCOMPARE(t.stepMs, step);
        QList<qint64> local;
        for (const qint64 x : t.at) {
            QVERIFY(x >= from && x <= to);
            local << x + offset;
        }
        QCOMPARE(local, ticks);
        QVERIFY(int(t.at.size()) <= maxTicks);
    }

    void noTimeTicksForAnEmptySpan()
    {
        QVERIFY(timeTicks(1000, 1000, 0, 7).at.empty());
        QVERIFY(timeTicks(2000, 1000, 0, 7).at.empty());
    }

    void weightScaleIsRoundAndHoldsWhatIsShown_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("step");
        QTest::newRow("a load and its overshoot") << -0.01 << 27.41 << 2 << -10.0 << 30.0 << 10.0;
        QTest::newRow("standing still: two divisions either side")
            << 12.48 << 12.48 << 2 << 12.46 << 12.50 << 0.01;
        QTest::newRow("whole units, standing still")
            << 500.0 << 500.0 << 0 << 498.0 << 502.0 << 1.0;
        QTest::newRow("steps of 2.5") << 0.0 << 12.0 << 1 << -2.5 << 15.0 << 2.5;
        QTest::newRow("negative weights") << -310.0 << -290.0 << 0 << -315.0 << -285.0 << 5.0;
        QTest::newRow("a heavy load") << 0.0 << 48000.0 << 0 << -10000.0 << 60000.0 << 10000.0;
    }
    void weightScaleIsRoundAndHoldsWhatIsShown()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(int, decimals);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, step);
        const WeightScale s = weightScale(lo, hi, decimals);
        QCOMPARE(s.step, step);
        QCOMPARE(s.from, from);
        QCOMPARE(s.to, to);
        QVERIFY(s.from < lo && s.to > hi);
        const std::vector<double> ticks = s.ticks();
        QVERIFY(ticks.size() >= 3 && ticks.size() <= 9);
        QCOMPARE(ticks.front(), from);
        QCOMPARE(ticks.back(), to);
        // Every label is a whole number of steps, so none reads 2.4999999.
        for (const double t : ticks)
            QCOMPARE(QString::number(t, 'f', 6),
                     QString::number(std::round(t / step) * step, 'f', 6));
    }

    void nothingShownYetOrNoNumberStillGivesAnAxis()
    {
        for (const WeightScale& s :
             {weightScale(0, 0, 2, false), weightScale(qQNaN(), 5, 2), weightScale(3, qInf(), 1)}) {
            QVERIFY(s.to > s.from);
            QVERIFY(s.step > 0);
            QVERIFY(s.ticks().size() >= 2);
        }
    }
};

QTEST_MAIN(TrendScaleTest)
#include "tst_trendscale.moc"
