// Measures a firmware update against the simulator with paced bytes: the wall time from F3
// to "Transfer Complete!!", as a ratio to what the line and the loader's waits allow at best
// (the bytes of every message and its ACK at the line's character time, the line delay after
// each line, the first step, the pause after the enter message, and the reload wait).
//
// The line runs 8N1, 10 bits a byte: a pseudo-terminal keeps no parity bit (the kernel clears
// it), so the simulator cannot pace the 11 bits of 8E1; with parity on a real port every
// byte time grows by a tenth and so does the limit.
//
//   bench_firmware [lines] [baud ...]      (default 300 lines at 19200 and 115200)
#include "firmware/FirmwareUpdate.h"
#include "firmware/LoaderFraming.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

using namespace kx;

namespace {

constexpr double BitsPerByte = 10; // start, 8 data, stop

// Intel-HEX data records of 32 bytes each, then the end-of-file record.
QByteArray image(int lines)
{
    QByteArray out;
    for (int i = 0; i < lines - 1; ++i) {
        QByteArray bytes;
        const int address = (i * 32) & 0xFFFF;
        bytes += char(32);
        bytes += char(address >> 8);
        bytes += char(address & 0xFF);
        bytes += char(0);
        for (int j = 0; j < 32; ++j)
            bytes += char((i * 7 + j) & 0xFF);
        unsigned sum = 0;
        for (const char b : bytes)
            sum += static_cast<unsigned char>(b);
        bytes += char((0x100 - (sum & 0xFF)) & 0xFF);
        out += ":" + bytes.toHex().toUpper() + "\r\n";
    }
    return out + ":00000001FF\r\n";
}

struct Host : UpdateHost
{
    Host(Clock& clock, QString device)
        : main(clock, std::make_unique<QtSerialDevice>()), device_(std::move(device))
    {
    }
    void takeLineForUpdate() override {}
    const SerialChannel& mainPort() const override { return main; }
    QString deviceFor(int) const override { return device_; }
    void disableFace() override {}
    void giveLineBack() override {}
    void showUpdatePanel(bool, bool) override {}
    bool shuttingDown() const override { return false; }
    SerialChannel main;
    QString device_;
};

struct View : FirmwareUpdateView
{
    QString path;
    const FirmwareUpdate* update = nullptr;
    QElapsedTimer clock;
    qint64 endAcked = -1;
    qint64 complete = -1;
    QString askUpdateFile(const QString&) override { return path; }
    void refuseUpdateFile(const QString& text) override
    {
        std::fprintf(stderr, "refused: %s\n", qPrintable(text));
    }
    void updatePanelChanged(bool now) override
    {
        if (now && endAcked < 0)
            endAcked = clock.elapsed();
        if (update && update->panel().closeVisible && complete < 0)
            complete = clock.elapsed();
    }
    void setBusyCursor(bool) override {}
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(2, atoi(argv[1])) : 300;
    QList<int> bauds;
    for (int i = 2; i < argc; ++i)
        bauds << atoi(argv[i]);
    if (bauds.isEmpty())
        bauds = {19200, 115200};

    QTemporaryDir dir;
    const QByteArray hex = image(lines);
    QFile file(dir.filePath(QStringLiteral("bench.hex")));
    if (!file.open(QIODevice::WriteOnly) || file.write(hex) != hex.size())
        return 1;
    file.close();
    qint64 messageBytes = loaderEnterMessage().size() + loaderEndMessage().size();
    for (const QByteArray& line : hex.split('\n'))
        if (!line.trimmed().isEmpty())
            messageBytes += loaderLineMessage(line.trimmed()).size();
    const qint64 replies = lines + 2; // one ACK per message

    std::printf("%d lines, %lld message bytes, line delay %lld ms\n", lines, messageBytes,
                static_cast<long long>(BootstrapLoader::DefaultLineDelay.count()));
    std::printf("%8s %10s %10s %8s %12s %12s %8s\n", "baud", "wall ms", "limit ms", "ratio",
                "lines ms", "limit ms", "ratio");
    for (const int baud : bauds) {
        const QString link = dir.filePath(QStringLiteral("tty%1").arg(baud));
        QProcess sim;
        sim.setProgram(QStringLiteral(KX_SIM_PATH));
        sim.setArguments({"--link", link, "--pace", "--reload-ms", "100", "--load-every", "0"});
        sim.start();
        for (int i = 0; i < 100 && !QFile::exists(link); ++i)
            QThread::msleep(50);
        if (!QFile::exists(link)) {
            std::fprintf(stderr, "simulator did not start\n");
            return 1;
        }
        Clock& clock = QtClock::instance();
        Host host(clock, link);
        host.main.SetBaud(baud);
        host.main.SetComNumber(1);
        View view;
        view.path = file.fileName();
        FirmwareUpdate update(clock, std::make_unique<QtSerialDevice>(), host, view, dir.path());
        view.update = &update;
        view.clock.start();
        update.F3UpdateButtonClick();
        while (view.complete < 0 && view.clock.elapsed() < 600000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        update.CloseUpdateClick();
        sim.terminate();
        sim.waitForFinished(3000);

        const double wire = (messageBytes + replies) * BitsPerByte * 1000.0 / baud;
        const double delays = double(lines) * BootstrapLoader::DefaultLineDelay.count();
        const double fixed =
            BootstrapLoader::StateInterval.count() + BootstrapLoader::EnterPause.count();
        const double reload = FirmwareUpdate::ReloadTicks * SerialChannel::Tick.count();
        const double limit = wire + delays + fixed + reload;
        // The lines alone: from the first line to the end message's ACK.
        const double lineLimit = wire + delays;
        const double lineWall = view.endAcked - fixed;
        std::printf("%8d %10lld %10.0f %8.3f %12.0f %12.0f %8.3f\n", baud,
                    static_cast<long long>(view.complete), limit, view.complete / limit, lineWall,
                    lineLimit, lineWall / lineLimit);
    }
    return 0;
}
