// Measures what a flood of bytes does to the program: 1 MB of ACK, NAK and noise pushed at
// 1 MB/s into the main port while it polls (a wrong baud rate, a shorted adapter). Reports
// the longest the event loop went unanswered during the flood (a key press waits that long)
// and the UI thread's CPU in the seconds after the flood ends.
//
//   bench_flood [megabytes]      (default 1)
#include "PtyPair.h"
#include "app/TMainForm.h"
#include "session/LineSession.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

using namespace kx;

namespace {

double threadCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray floodChunk(int size)
{
    QByteArray out;
    for (int i = 0; out.size() < size; ++i)
        out += i % 3 == 0 ? QByteArray(1, '\x06') : i % 3 == 1 ? QByteArray(1, '\x15')
                                                               : QByteArray("\xa5Zq\x13 ");
    return out.left(size);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 1;

    test::PtyPair pty;
    if (!pty.ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("Port.Ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Scale Port]\r\nPort=1\r\nMode=0\r\n[Devices]\r\n1=" + pty.slavePath().toLocal8Bit()
              + "\r\n");
    ini.close();
    TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
    form.show();

    // The event loop's pulse: the longest gap between ticks of a 10 ms timer.
    QElapsedTimer pulse;
    qint64 worstGap = 0;
    bool measuring = false;
    QTimer heart;
    QObject::connect(&heart, &QTimer::timeout, [&] {
        if (measuring)
            worstGap = std::max(worstGap, pulse.elapsed());
        pulse.restart();
    });
    heart.setTimerType(Qt::PreciseTimer);
    heart.start(10);
    pulse.start();

    std::atomic<bool> done{false};
    std::thread flooder;
    QTimer::singleShot(1000, [&] {
        if (!form.panel().connected()) {
            std::fprintf(stderr, "the port did not open\n");
            QCoreApplication::exit(1);
            return;
        }
        measuring = true;
        flooder = std::thread([&] {
            const QByteArray chunk = floodChunk(16 * 1024);
            const auto start = std::chrono::steady_clock::now();
            const int chunks = megabytes * 64;
            for (int i = 0; i < chunks; ++i) {
                // 1 MB/s: a 16 KiB chunk every 15.6 ms.
                std::this_thread::sleep_until(start + std::chrono::microseconds(15625LL * i));
                pty.write(chunk);
            }
            done = true;
        });
    });

    double cpuAtEnd = 0;
    QElapsedTimer sinceEnd;
    QTimer watch;
    QList<double> perSecond;
    bool stillConnected = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!done)
            return;
        if (!sinceEnd.isValid()) {
            measuring = false;
            sinceEnd.start();
            cpuAtEnd = threadCpuSeconds();
            return;
        }
        if (sinceEnd.elapsed() >= 1000 * (perSecond.size() + 1)) {
            const double now = threadCpuSeconds();
            perSecond.append((now - cpuAtEnd) * 100.0);
            cpuAtEnd = now;
            if (perSecond.size() == 3) {
                // Asked now: quitting closes the window, and with it the port.
                stillConnected = form.panel().connected();
                QCoreApplication::quit();
            }
        }
    });
    watch.start(5);
    const int rc = app.exec();
    if (flooder.joinable())
        flooder.join();
    if (rc != 0)
        return rc;
    std::printf("flood: %d MB at 1 MB/s\n", megabytes);
    std::printf("longest event-loop stall during the flood: %lld ms\n",
                static_cast<long long>(worstGap));
    std::printf("UI thread CPU after the flood ends: %.1f %%, %.1f %%, %.1f %% (1st, 2nd, 3rd s)\n",
                perSecond.value(0), perSecond.value(1), perSecond.value(2));
    std::printf("still connected: %s\n", stillConnected ? "yes" : "no");
    return 0;
}
