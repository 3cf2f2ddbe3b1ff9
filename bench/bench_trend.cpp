// Measures the trend over a long shift, on the stepped clock: eight hours of frames at ten a
// second fed to the trend feed, the resident memory that costs, and how long one refresh of
// the window takes (the series rebuilt and the window painted) for each span.
//
//   bench_trend [hours]      (default 8)
#include "FrontPanelFixture.h"

#include "app/TrendWindow.h"
#include "trend/TrendFeed.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <unistd.h>

using namespace kx;

namespace {

double residentMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double hours = argc > 1 ? std::max(0.1, atof(argv[1])) : 8.0;
    const qint64 frames = qint64(hours * 3600 * 10);

    test::FrontPanelFixture fx;
    TrendFeed feed(fx.clock, *fx.panel);
    TrendWindow window(feed);
    window.show();
    QApplication::processEvents();
    // Hidden while fed, so the clock moves on without the window's refresh: that is timed
    // below on its own.
    window.hide();
    const double before = residentMb();

    std::mt19937 rng(7400);
    std::uniform_real_distribution<double> unit(0, 1);
    double target = 0;
    double value = 0;
    QElapsedTimer feeding;
    feeding.start();
    for (qint64 i = 0; i < frames; ++i) {
        if (i % 80 == 0)
            target = target > 1 ? 0 : std::round(unit(rng) * 30000) / 100;
        value += (target - value) * 0.3 + (unit(rng) - 0.5) * 0.02;
        const bool settled = std::abs(target - value) < 0.05;
        const QByteArray text = QByteArray::number(std::round(value * 100) / 100, 'f', 2)
                                    .rightJustified(7, ' ')
                                + (settled ? '_' : ' ') + "LB GR    ";
        feed.frameShown(decodeReplyFrame(text));
        fx.clock.advance(100);
    }
    const double fedSeconds = feeding.elapsed() / 1000.0;
    window.show();
    window.setSpan(TrendSpan::EightHours);
    QApplication::processEvents();
    const double after = residentMb();

    std::printf("frames fed: %lld (%.1f h at 10 a second) in %.1f s\n",
                static_cast<long long>(frames), hours, fedSeconds);
    std::printf("entries kept by the series: %zu\n", feed.series().storedEntries());
    std::printf("resident memory: %.1f MB before, %.1f MB after: growth %.1f MB\n", before, after,
                after - before);
    const char* const spans[] = {"1 min", "10 min", "1 h", "8 h"};
    for (int s = 0; s < TrendSpanCount; ++s) {
        window.setSpan(TrendSpan(s));
        QList<double> ms;
        QList<double> series;
        for (int run = 0; run < 40; ++run) {
            QElapsedTimer t;
            t.start();
            window.refresh();
            series.append(t.nsecsElapsed() / 1e6);
            // Whatever the refresh left for the event loop, then the window drawn.
            QApplication::processEvents();
            window.repaint();
            ms.append(t.nsecsElapsed() / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::sort(series.begin(), series.end());
        std::printf("one refresh drawn, span %-6s: %zu points, median %.2f ms (of which the "
                    "series %.2f ms), max %.2f ms\n",
                    spans[s], feed.series().points(TrendSpan(s), fx.clock.nowMs()).size(),
                    ms[ms.size() / 2], series[series.size() / 2], ms.last());
    }
    return 0;
}
