// Measures an upload, a download and a download with its read-back of a two-output setup against the simulator pacing its
// bytes at the line's baud rate, as a ratio to the protocol's own minimum: the editor timer's
// steps the exchange must wait for plus the bytes' time on the wire.
//
//   bench_transfer [runs] [baud index]      (default 5 runs, index 3 = 19200 baud)
#include "FrontPanelFixture.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace kx;

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int baudIndex = argc > 2 ? std::clamp(atoi(argv[2]), 0, 6) : 3;
    static const int bauds[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const int baud = bauds[baudIndex];

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyKX7400"));
    QProcess sim;
    sim.start(QStringLiteral(KX_SIM_PATH), {"--link", link, "--outputs", "2", "--pace",
                                            "--load-every", "0", "--mode", "demand"});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    QFile ini(dir.filePath(QStringLiteral("Port.Ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Scale Port]\r\nPort=1\r\nBaud=" + QByteArray::number(baudIndex)
              + "\r\nParity=1\r\nMode=1\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=2\r\n[Devices]\r\n1="
              + link.toLocal8Bit() + "\r\n");
    ini.close();

    // The setup downloaded is a new record, as the editor would hold it.
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    const QString file = dir.filePath(QStringLiteral("new.dat"));
    doc.save(file);

    test::RecordingHost host;
    host.inputs.settings = {file, doc.toBytes()};
    host.inputs.tickedUnits = {"lb Units", "kg Units"};
    host.inputs.fieldBus = true;
    // The editor shows the second output when Port.Ini says the indicator has one.
    host.inputs.secondOutput = true;
    PortSettings port(dir.path());
    port.LoadPortSettings();
    LineSession panel(QtClock::instance(), std::make_unique<QtSerialDevice>(), port, host, host);
    panel.FormCreate();
    panel.setPortSettingsLoaded();
    panel.FormActivate();
    QEventLoop settle;
    QTimer::singleShot(800, &settle, &QEventLoop::quit);
    settle.exec();
    if (!panel.connected()) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }

    QList<double> up, down, verified;
    qsizetype upBytes = 0, downBytes = 0;
    host.onEditor = [&] {
        for (int i = 0; i < 3 * runs; ++i) {
            const bool upload = i % 3 == 0;
            const bool verify = i % 3 == 2;
            panel.setVerifyAfterWrite(verify);
            QElapsedTimer t;
            t.start();
            panel.startTransfer(upload ? TransferDirection::Upload : TransferDirection::Download);
            while (host.transferRunning && t.elapsed() < 30000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            const QString last = host.transferLines.value(host.transferLines.size() - 1);
            if (last != (upload ? "Upload Complete!" : "Download complete!")) {
                std::fprintf(stderr, "run %d ended on \"%s\"\n", i, qPrintable(last));
                return;
            }
            if (verify && !host.transferLines.join('\n').contains("Verified:")) {
                std::fprintf(stderr, "run %d was not verified\n", i);
                return;
            }
            (upload ? up : verify ? verified : down) << double(t.elapsed());
            // Let the indicator leave PC mode before the next exchange.
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < 300)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    };
    panel.F4OptionsButtonClick();
    {
        QFile u(dir.filePath(QStringLiteral("Upload.Txt")));
        u.open(QIODevice::ReadOnly);
        upBytes = u.size() + 2; // with STX and EOT
        QFile d(dir.filePath(QStringLiteral("Download.Txt")));
        d.open(QIODevice::ReadOnly);
        downBytes = d.size() + 2;
    }
    // No parity (a pseudo-terminal takes none), 8 data bits, 1 stop bit: 10 bits a byte.
    const double bitsPerByte = 10;
    const auto wire = [&](qsizetype bytes) { return bytes * bitsPerByte * 1000.0 / baud; };
    // Upload: "pcmode" and its ACK, 'u' at the editor timer's next step (one period after the
    // request), then the upload itself and the PC's ACK.
    const double upMinimum = 100 + wire(upBytes + 1);
    // Download: 'd' one period after the request, the data at the step after "ready" (whose
    // bytes travel within that step), then the indicator's ACK.
    const double downMinimum = 200 + wire(downBytes) + wire(1);
    // Download and its read-back: both exchanges back to back, the read-back's entry request
    // going out as the data's ACK comes.
    const double verifiedMinimum = downMinimum + upMinimum;
    std::printf("baud %d, %d runs each, two custom outputs\n", baud, runs);
    std::printf("upload:   %lld bytes, median %.0f ms, minimum %.0f ms, ratio %.3f\n",
                static_cast<long long>(upBytes), median(up), upMinimum, median(up) / upMinimum);
    std::printf("download: %lld bytes, median %.0f ms, minimum %.0f ms, ratio %.3f\n",
                static_cast<long long>(downBytes), median(down), downMinimum,
                median(down) / downMinimum);
    std::printf("download and read-back: median %.0f ms, minimum %.0f ms, ratio %.3f\n",
                median(verified), verifiedMinimum, median(verified) / verifiedMinimum);
    panel.FormClose();
    sim.terminate();
    sim.waitForFinished(3000);
    return up.size() == runs && down.size() == runs && verified.size() == runs ? 0 : 1;
}
