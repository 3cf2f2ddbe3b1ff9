#include "trend/TrendSeries.h"

#include <QTest>
#include <cmath>
#include <map>
#include <random>

using namespace kx;

namespace {

// One add() as the reference keeps it: every call, with or without a value.
struct Event
{
    qint64 t;
    std::optional<double> value;
    bool settled;
    bool net;
    bool gapBefore; // markGap() came right before it
};

qint64 alignDown(qint64 t, qint64 w)
{
    return t / w * w;
}

// A valued frame starts a new line when it is the first, when a gap or a frame without a
// number came since the last valued one, or after more than the silence limit.
std::vector<bool> referenceBreaks(const std::vector<Event>& events)
{
    std::vector<bool> breaks(events.size(), false);
    bool pending = true;
    std::optional<qint64> prevT;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.gapBefore)
            pending = true;
        const bool silence = prevT && e.t - *prevT > TrendSeries::SilenceGapMs;
        prevT = e.t;
        if (!e.value) {
            pending = true;
            continue;
        }
        breaks[i] = pending || silence;
        pending = false;
    }
    return breaks;
}

} // namespace

// The series store: the buckets of the longer spans must say what the frames themselves say.
class TrendSeriesTest : public QObject
{
    Q_OBJECT

private slots:
    void bucketsAgreeWithEveryFrame_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("minutes");
        QTest::newRow("seed 1, 3 h") << 1u << 180;
        QTest::newRow("seed 7, 9 h (past the longest span)") << 7u << 540;
        QTest::newRow("seed 42, 70 min") << 42u << 70;
    }
    // Seeded random series with loads, noise, motion, net and gross, silences, blanked faces
    // and frames without a number, checked against a brute-force pass over all frames.
    void bucketsAgreeWithEveryFrame()
    {
        QFETCH(quint32, seed);
        QFETCH(int, minutes);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0, 1);
        TrendSeries series;
        std::vector<Event> events;
        double target = 100;
        double value = 100;
        bool net = false;
        qint64 t = 1000;
        qint64 nextCheck = 60'000;
        const qint64 end = qint64(minutes) * 60'000;
        while (t < end) {
            t += 90 + int(unit(rng) * 21);
            const double r = unit(rng);
            if (r < 0.0015)
                t += 1500 + qint64(unit(rng) * 150'000); // silence
            bool gap = false;
            if (unit(rng) < 0.001) {
                series.markGap();
                gap = true;
            }
            if (unit(rng) < 0.004)
                target = std::round(unit(rng) * 50000) / 100;
            if (unit(rng) < 0.0005)
                net = !net;
            value += (target - value) * 0.3 + (unit(rng) - 0.5) * 0.04;
            const double shown = std::round(value * 100) / 100;
            const bool settled = std::abs(target - value) < 0.05;
            std::optional<double> v = shown;
            if (unit(rng) < 0.002)
                v.reset(); // " OVERLD"
            series.add(t, v, settled, net, 2, FrameUnits::Pounds);
            events.push_back({t, v, settled, net, gap});

            if (t < nextCheck)
                continue;
            nextCheck += 60'000 + qint64(unit(rng) * 600'000);
            const qint64 now = t + qint64(unit(rng) * 3000);
            checkAt(series, events, now);
        }
        checkAt(series, events, t);
        // Bounded by the screen: a minute of frames and a fixed count of buckets per span.
        QVERIFY2(series.storedEntries() <= 700 + 3 * (TrendSeries::BucketsPerSpan + 1),
                 qPrintable(QString::number(series.storedEntries())));
    }

    void stableFor_data()
    {
        QTest::addColumn<QList<double>>("values"); // one a second
        QTest::addColumn<int>("gapAt");            // index of the frame after a gap, or -1
        QTest::addColumn<qint64>("expectedMs");    // -1: not stable
        QList<double> flat(31, 10.00);
        QTest::newRow("30 s within a division") << flat << -1 << qint64(30'000);
        QList<double> wobble;
        for (int i = 0; i <= 30; ++i)
            wobble << (i % 2 ? 10.01 : 10.00);
        QTest::newRow("one division of wobble") << wobble << -1 << qint64(30'000);
        QList<double> step = flat;
        for (int i = 20; i <= 30; ++i)
            step[i] = 10.02;
        QTest::newRow("two divisions up at 20 s") << step << -1 << qint64(10'000);
        QTest::newRow("a gap at 25 s") << flat << 25 << qint64(5'000);
        QList<double> moving;
        for (int i = 0; i <= 30; ++i)
            moving << 10.0 + i * 0.05;
        QTest::newRow("moving") << moving << -1 << qint64(-1);
        // Steady for longer than the frames kept: the buckets carry it on.
        QTest::newRow("three steady minutes") << QList<double>(181, 5.00) << -1 << qint64(180'000);
    }
    void stableFor()
    {
        QFETCH(QList<double>, values);
        QFETCH(int, gapAt);
        QFETCH(qint64, expectedMs);
        TrendSeries series;
        qint64 t = 0;
        for (int i = 0; i < values.size(); ++i) {
            if (i == gapAt)
                series.markGap();
            series.add(t, values[i], true, false, 2, FrameUnits::Kilograms);
            if (i + 1 < values.size())
                t += 1000;
        }
        const TrendStats s = series.statistics(TrendSpan::OneMinute, t);
        if (expectedMs < 0) {
            QVERIFY(!s.stableForMs);
        } else {
            QVERIFY(s.stableForMs);
            // The buckets know a start only to their width (1 s for ten minutes).
            QVERIFY2(std::abs(*s.stableForMs - expectedMs) <= 1000,
                     qPrintable(QString::number(*s.stableForMs)));
        }
    }

    // One axis carries one unit: other units start the picture afresh.
    void otherUnitsStartAfresh()
    {
        TrendSeries series;
        for (int i = 0; i < 10; ++i)
            series.add(i * 100, 12.5, true, false, 2, FrameUnits::Pounds);
        series.add(1000, 5.67, true, false, 2, FrameUnits::Kilograms);
        const TrendStats s = series.statistics(TrendSpan::TenMinutes, 1000);
        QCOMPARE(s.count, 1);
        QCOMPARE(s.units, FrameUnits::Kilograms);
        QCOMPARE(s.min, 5.67);
    }

private:
    static void checkAt(const TrendSeries& series, const std::vector<Event>& events, qint64 now)
    {
        const std::vector<bool> breaks = referenceBreaks(events);
        for (int k = 0; k < TrendSpanCount; ++k) {
            const auto span = TrendSpan(k);
            const qint64 w = TrendSeries::bucketWidthMs(span);
            const qint64 from = span == TrendSpan::OneMinute
                                    ? now - trendSpanMs(span) + 1
                                    : alignDown(now, w) + w - trendSpanMs(span);
            int count = 0;
            double lo = 0, hi = 0, sum = 0, last = 0;
            std::map<qint64, bool> buckets; // start -> a line starts in it
            std::vector<bool> pointBreaks;
            for (std::size_t i = 0; i < events.size(); ++i) {
                const Event& e = events[i];
                if (!e.value || e.t < from || e.t > now)
                    continue;
                const double v = *e.value;
                lo = count ? std::min(lo, v) : v;
                hi = count ? std::max(hi, v) : v;
                sum += v;
                last = v;
                ++count;
                if (w > 0)
                    buckets[alignDown(e.t, w)] = buckets[alignDown(e.t, w)] || breaks[i];
                else
                    pointBreaks.push_back(breaks[i]);
            }
            double sq = 0;
            const double mean = count ? sum / count : 0;
            for (const Event& e : events)
                if (e.value && e.t >= from && e.t <= now)
                    sq += (*e.value - mean) * (*e.value - mean);
            const QByteArray where = QByteArray("span ") + QByteArray::number(k) + " at "
                                     + QByteArray::number(now);
            const TrendStats s = series.statistics(span, now);
            QVERIFY2(s.count == count, where);
            if (count == 0)
                continue;
            QVERIFY2(s.min == lo && s.max == hi && s.last == last, where);
            QVERIFY2(std::abs(s.mean - mean) <= 1e-9 * std::max(1.0, std::abs(mean)), where);
            QVERIFY2(std::abs(s.stddev - std::sqrt(sq / count)) <= 1e-7, where);

            if (w == 0) {
                const std::vector<TrendPoint> points = series.points(span, now);
                QVERIFY2(points.size() == pointBreaks.size(), where);
                for (std::size_t i = 0; i < points.size(); ++i)
                    QVERIFY2(points[i].breakBefore == pointBreaks[i], where);
                continue;
            }
            // Gaps kept: the same buckets hold frames, and the same ones begin a new line.
            const std::vector<TrendSeries::Bucket> got = series.shownBuckets(span, now);
            QVERIFY2(got.size() == buckets.size(), where);
            auto it = buckets.begin();
            for (const TrendSeries::Bucket& b : got) {
                QVERIFY2(b.start == it->first && b.breakBefore == it->second, where);
                ++it;
            }
            // And the picture breaks its line at every one of them, and where buckets are missing.
            const std::vector<TrendPoint> points = series.points(span, now);
            QVERIFY2(points.size() <= 2 * std::size_t(TrendSeries::BucketsPerSpan), where);
            int lines = 0;
            for (const TrendPoint& p : points)
                lines += p.breakBefore ? 1 : 0;
            int expectedLines = 0;
            qint64 prev = 0;
            bool first = true;
            for (const auto& [start, brk] : buckets) {
                expectedLines += first || brk || start != prev + w ? 1 : 0;
                prev = start;
                first = false;
            }
            QVERIFY2(lines == expectedLines, where);
        }
    }
};

QTEST_GUILESS_MAIN(TrendSeriesTest)
#include "tst_trendseries.moc"
