// Measures, against the simulator at 10 frames a second: how long a frame takes from its EOT
// leaving the simulator to its weight on the face, and the program's CPU use while polling.
//
//   bench_front_panel [seconds] [log] [trend]
//       (default 10; "log": with the protocol log on; "trend": with the trend window open)
//
// The simulator logs each frame with the wall-clock time it was written; the face's weight
// changes are stamped with the same clock. The program shows the newest frame at each poll
// tick, so a shown weight belongs to the newest frame with that text sent before it.
#include "app/TMainForm.h"
#include "session/LineSession.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace kx;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int msOfDay(const QTime& t)
{
    return t.msecsSinceStartOfDay();
}

struct Sent
{
    int at;
    QString weight;
};

QList<Sent> readSimLog(const QString& path)
{
    QList<Sent> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    static const QRegularExpression line(
        QStringLiteral(R"(^(\d\d:\d\d:\d\d\.\d\d\d) TX (.{7}).{10}<EOT>)"));
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const auto m = line.match(QString::fromLatin1(raw));
        if (m.hasMatch())
            out.append({msOfDay(QTime::fromString(m.captured(1), QStringLiteral("hh:mm:ss.zzz"))),
                        m.captured(2)});
    }
    return out;
}

double percentile(QList<int> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min<qsizetype>(v.size() - 1, qsizetype(p * (v.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 10;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyKX7400"));
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    QProcess sim;
    sim.start(QStringLiteral(KX_SIM_PATH),
              {"--link", link, "--rate", "10", "--load-every", "1", "--log", log});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    QFile ini(dir.filePath(QStringLiteral("Port.Ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Scale Port]\r\nPort=1\r\nMode=0\r\n[Devices]\r\n1=" + link.toLocal8Bit() + "\r\n");
    ini.close();

    TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
    QList<Sent> shown;
    QString last;
    QObject::connect(&form.panel(), &LineSession::faceChanged, [&] {
        const QString w = form.panel().faceState().Weight;
        if (w != last && w.size() == 7 && w != QLatin1String("------"))
            shown.append({msOfDay(QTime::currentTime()), w});
        last = w;
    });
    form.show();
    bool logging = false;
    bool trend = false;
    for (int i = 2; i < argc; ++i) {
        logging = logging || QByteArray(argv[i]) == "log";
        trend = trend || QByteArray(argv[i]) == "trend";
    }
    if (logging)
        form.panel().toggleProtocolLog();
    if (trend)
        form.showTrendWindow();

    // Let the port open and the first frames arrive before measuring.
    QTimer::singleShot(1000, [&] {
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        const qsizetype shown0 = shown.size();
        QTimer::singleShot(seconds * 1000, [&, cpu0, wall, shown0] {
            const double cpu = (cpuSeconds() - cpu0) / (wall.elapsed() / 1000.0) * 100.0;
            const QList<Sent> sent = readSimLog(log);
            QList<int> latencies;
            for (qsizetype i = shown0; i < shown.size(); ++i) {
                const Sent& s = shown[i];
                // The newest frame with this text written before it was shown.
                for (qsizetype j = sent.size() - 1; j >= 0; --j)
                    if (sent[j].at <= s.at && sent[j].weight == s.weight) {
                        latencies.append(s.at - sent[j].at);
                        break;
                    }
            }
            std::printf("frames sent per second: 10\n");
            std::printf("weight changes shown: %lld over %d s\n",
                        static_cast<long long>(shown.size() - shown0), seconds);
            std::printf(
                "EOT to weight shown (ms): median %.0f, 95th percentile %.0f, max %.0f (n=%lld)\n",
                percentile(latencies, 0.5), percentile(latencies, 0.95), percentile(latencies, 1.0),
                static_cast<long long>(latencies.size()));
            std::printf("CPU while polling: %.2f %% of one core\n", cpu);
            std::printf("protocol log: %s\n", logging ? "on" : "off");
            std::printf("trend window: %s\n", trend ? "open" : "closed");
            QCoreApplication::quit();
        });
    });
    app.exec();
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
