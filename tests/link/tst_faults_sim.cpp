// The front panel against the simulator misbehaving on purpose, in both poll modes: whatever
// the line does, nothing hangs, the face says what the fault calls for, polling is back soon
// after the fault ends, and no file is written.
#include "FrontPanelFixture.h"
#include "SimProcess.h"
#include "TestFiles.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;
using kx::test::startSimulator;
using kx::test::writePortIni;
using kx::test::RecordingHost;
using kx::test::readAll;

namespace {
const QString kWeight = QStringLiteral("  12.50");
// A busy machine may hold a real port's bytes back a little; the fault itself is exact.
constexpr int kBackWithinMs = 1000;
constexpr int kSlackMs = 500;
} // namespace

class FaultsSimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sim;
    QString link() const { return dir.filePath("ttyKX7400"); }

    void startSim(int mode, const QStringList& fault)
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            QVERIFY(sim.waitForFinished(10000));
        }
        QVERIFY(startSimulator(sim, link(),
                               QStringList{"--weight", "12.5", "--load-every", "0", "--seed", "7",
                                           "--mode", mode ? "demand" : "continuous"}
                                   + fault));
    }
    void writeIni(int mode)
    {
        QVERIFY(writePortIni(dir.path(), link(),
                             "[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\n"
                             "Stop Bits=0\r\nMode=" + QByteArray::number(mode) +
                                 "\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=1\r\n"));
    }

private slots:
    void cleanup()
    {
        sim.terminate();
        sim.waitForFinished(10000);
    }

    void faultsWhilePolling_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("fault");
        for (int mode : {0, 1})
            // Silence and its recovery bound run on the stepped clock (tst_faults_stepped).
            for (const char* fault : {"noise", "split", "slow", "vanish"})
                QTest::addRow("%s, %s", mode ? "demand" : "continuous", fault) << mode << fault;
    }
    void faultsWhilePolling()
    {
        QFETCH(int, mode);
        QFETCH(QString, fault);
        QStringList options;
        if (fault == "noise")
            options << "--noise";
        else if (fault == "split")
            options << "--split";
        else if (fault == "slow")
            options << "--delay-ms" << "300";
        startSim(mode, options);
        writeIni(mode);
        const QByteArray iniBefore = readAll(dir.filePath("Port.Ini"));
        const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::System);

        RecordingHost host;
        PortSettings port(dir.path());
        port.LoadPortSettings();
        LineSession panel(QtClock::instance(), std::make_unique<QtSerialDevice>(), port, host, host);
        panel.FormCreate();
        panel.setPortSettingsLoaded();
        panel.FormActivate();
        const FaceState& face = panel.faceState();
        QTRY_COMPARE_WITH_TIMEOUT(face.Weight, kWeight, 5000);
        QVERIFY(panel.connected());

        QElapsedTimer sinceEnd;
        if (fault == "vanish") {
            sim.terminate();
            QVERIFY(sim.waitForFinished(10000));
            QTRY_COMPARE_WITH_TIMEOUT(face.ConnectedLabel, QStringLiteral("Not Connected."), 5000);
            QCOMPARE(face.Weight, QStringLiteral("------"));
            QVERIFY(!face.lbUnitsArrow && !face.kgUnitsArrow && !face.NetArrow);
            QVERIFY(!panel.connected());
            startSim(mode, {});
            sinceEnd.start();
            panel.WeightDblClick(); // the port settings dialog's reopen
            QTRY_VERIFY_WITH_TIMEOUT(panel.connected(), 5000);
            QTRY_COMPARE_WITH_TIMEOUT(face.Weight, kWeight, kBackWithinMs + kSlackMs);
            QVERIFY2(sinceEnd.elapsed() <= kBackWithinMs + kSlackMs,
                     qPrintable(QString::number(sinceEnd.elapsed())));
        } else {
            // The fault lasts: frames must keep coming through it, the spinner turning.
            const QString spin = face.ConnectedLabel;
            QTRY_VERIFY_WITH_TIMEOUT(face.ConnectedLabel != spin, 2000);
            QTRY_COMPARE_WITH_TIMEOUT(face.Weight, kWeight, 2000);
        }

        QVERIFY2(host.portErrors.isEmpty(), qPrintable(host.portErrors.join(" | ")));
        QCOMPARE(host.terminated, 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System), filesBefore);
        QCOMPARE(readAll(dir.filePath("Port.Ini")), iniBefore);
        panel.FormClose();
    }
};

QTEST_GUILESS_MAIN(FaultsSimTest)
#include "tst_faults_sim.moc"
