// CPU and wall time of the settings transfer's entry wait when the indicator never answers:
// the program's engine in-process (the window's case) and kxlink-cli upload, both against the
// simulator fallen silent for good. The wait asks every second and gives up after 20 s; in
// between nothing should run.
//
//   bench_entry_wait
#include "FrontPanelFixture.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace kx;

namespace {

double cpuMs(int who)
{
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0
           + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

struct Host : test::RecordingHost
{
    QEventLoop* loop = nullptr;
    QString last;
    void transferEnded(const TransferResult& r) override
    {
        last = r.text;
        if (loop)
            loop->quit();
    }
};

void report(const char* what, double wallMs, double cpu)
{
    std::printf("%-28s wall %6.1f s, CPU %7.1f ms, %.2f %% of a core\n", what, wallMs / 1000,
                cpu, 100.0 * cpu / wallMs);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyKX7400"));
    QProcess sim;
    // Silent from its start, for good: no frame, no ACK.
    sim.start(QStringLiteral(KX_SIM_PATH),
              {"--link", link, "--mode", "demand", "--silence", "0:100000000"});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    QFile ini(dir.filePath(QStringLiteral("Port.Ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=1\r\nMode=1\r\n[Advanced]\r\nVersion=0\r\n"
              "Custom Outputs=1\r\n[Devices]\r\n1="
              + link.toLocal8Bit() + "\r\n");
    ini.close();

    int status = 0;
    {
        Host host;
        PortSettings port(dir.path());
        port.LoadPortSettings();
        LineSession panel(QtClock::instance(), std::make_unique<QtSerialDevice>(), port, host,
                         host);
        panel.FormCreate();
        panel.setPortSettingsLoaded();
        panel.FormActivate();
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
        host.onEditor = [&] {
            QEventLoop loop;
            host.loop = &loop;
            QElapsedTimer wall;
            const double cpu0 = cpuMs(RUSAGE_SELF);
            wall.start();
            panel.startTransfer(TransferDirection::Upload);
            loop.exec();
            report("engine, entry wait", double(wall.elapsed()), cpuMs(RUSAGE_SELF) - cpu0);
            host.loop = nullptr;
        };
        panel.F4OptionsButtonClick();
        if (host.last != QLatin1String("No answer from the KX7400.")) {
            std::fprintf(stderr, "the wait ended on \"%s\"\n", qPrintable(host.last));
            status = 1;
        }
        panel.FormClose();
    }

    // The same from the command line, as a script would run it.
    const QString cli = QDir(QStringLiteral(KX_CLI_DIR)).filePath(QStringLiteral("kxlink-cli"));
    QProcess upload;
    upload.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpu0 = cpuMs(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    upload.start(cli, {"upload", dir.filePath(QStringLiteral("out.dat")), "--device", link,
                       "--mode", "demand", "--quiet"});
    upload.waitForFinished(120000);
    report("kxlink-cli upload", double(wall.elapsed()), cpuMs(RUSAGE_CHILDREN) - cpu0);
    std::printf("kxlink-cli exit status %d\n", upload.exitCode());
    if (upload.exitCode() != 4)
        status = 1;

    sim.terminate();
    sim.waitForFinished(3000);
    return status;
}
