#include "SimProcess.h"
#include "app/TMainForm.h"
#include "app/UpdatePanel.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kx;
using kx::test::startSimulator;
using kx::test::writePortIni;

// The firmware update driven as a user would: F3 on the main window, offscreen, against the
// indicator simulator acting as the bootstrap loader on a pseudo-terminal.
class FirmwareSimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sim;

    QString link() const { return dir.filePath("ttyKX7400"); }
    QByteArray simLog() const
    {
        QFile f(dir.filePath("sim.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool startSim(const QStringList& extra)
    {
        QFile::remove(dir.filePath("sim.log"));
        return startSimulator(sim, link(),
                              QStringList{"--weight", "12.5", "--load-every", "0", "--reload-ms",
                                          "1500", "--log", dir.filePath("sim.log")} +
                                  extra);
    }
    QString label(TMainForm& form) const { return form.findChild<QLabel*>("ScanLabel")->text(); }
    // With KX_SHOTS set to a folder, the window as it stands is kept there for a look.
    static void shot(QWidget& form, const char* name)
    {
        const QString folder = qEnvironmentVariable("KX_SHOTS");
        if (!folder.isEmpty())
            form.grab().save(QDir(folder).filePath(QLatin1String(name)));
    }
    bool writeFile(const char* name, const QByteArray& content)
    {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QFile ini(dir.filePath("Port.Ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\nStop Bits=0\r\n"
                  "Mode=0\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=1\r\n"
                  "Backup Before Write=0\r\n[Devices]\r\n1=" +
                  link().toLocal8Bit() + "\r\n");
    }
    void cleanup()
    {
        sim.terminate();
        sim.waitForFinished(5000);
        QFile::remove(dir.filePath("bsl.Ini"));
        QFile::remove(dir.filePath("loghex.dta"));
        QFile::remove(dir.filePath("view.log"));
    }

    void anUpdateGoesThroughAndPollingResumesAfterClose_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("refusals");
        QTest::newRow("clean") << QStringList() << 0;
        QTest::newRow("every 3rd line refused once") << QStringList{"--nak-every", "3"} << 2;
    }
    void anUpdateGoesThroughAndPollingResumesAfterClose()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, refusals);
        QVERIFY(startSim(simOptions));
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        QString askedIn;
        form.updatePanel()->setFileChooser([&](const QString& folder) {
            askedIn = folder;
            return QStringLiteral(KX_HEX_DATA "/small.hex");
        });
        form.show();
        auto* weight = form.findChild<QWidget*>("Weight");
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);

        QTest::keyClick(&form, Qt::Key_F3);
        QCOMPARE(askedIn, dir.path());
        QVERIFY(!form.findChild<QWidget*>("WeighPanel")->isEnabled());
        QVERIFY(form.findChild<QWidget*>("Progress_Panel")->isVisible());
        for (const char* control : {"Progress_Panel", "ProgressBar", "ScanLabel", "RetryUpdate",
                                    "CloseUpdate", "HoldYourHorses", "LogList"}) {
            auto* w = form.findChild<QWidget*>(control);
            QVERIFY2(w, control);
            QCOMPARE(w->accessibleDescription(), QString::fromLatin1(control));
        }
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Complete!!"), 30000);
        QCOMPARE(form.findChild<QWidget*>("ScanLabel")->accessibleName(),
                 QStringLiteral("Transfer Complete!!"));
        QCOMPARE(form.findChild<QProgressBar*>("ProgressBar")->value(), 6);
        QVERIFY(form.findChild<QAbstractButton*>("CloseUpdate")->isVisible());
        QVERIFY(!form.findChild<QAbstractButton*>("RetryUpdate")->isVisible());

        const QByteArray log = simLog();
        QCOMPARE(log.count("loader enter message, check byte DC: accepted"), 1);
        QCOMPARE(log.count("-- line: accepted"), 6);
        QCOMPARE(log.count("line refused"), refusals);
        QCOMPARE(log.count("end message: accepted"), 1);
        QVERIFY(log.indexOf("loader enter") < log.indexOf("-- line: accepted"));
        QVERIFY(log.lastIndexOf("-- line: accepted") < log.indexOf("end message: accepted"));

        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.findChild<QWidget*>("Progress_Panel")->isVisible());
        QVERIFY(form.findChild<QWidget*>("WeighPanel")->isEnabled());
        // The indicator weighs again once it has reloaded, and the poll cycle shows it.
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 10000);
    }

    void aFileWithABadChecksumIsRefusedBeforeAnyByteIsSent()
    {
        QVERIFY(startSim({}));
        QFile bad(dir.filePath("bad.hex"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(":100000004B5837343030206C6F61646572204B5829\r\n:00000001FF\r\n");
        bad.close();
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        QStringList refusals;
        form.updatePanel()->setFileChooser([&](const QString&) { return bad.fileName(); });
        form.updatePanel()->setRefusal([&](const QString& text) { refusals << text; });
        form.show();
        auto* weight = form.findChild<QWidget*>("Weight");
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);
        QTest::keyClick(&form, Qt::Key_F3);
        QCOMPARE(refusals.size(), 1);
        QVERIFY(refusals[0].contains(QStringLiteral("bad.hex")));
        QVERIFY(refusals[0].contains(QStringLiteral("Line 1: the checksum is wrong")));
        QVERIFY(!form.findChild<QWidget*>("Progress_Panel")->isVisible());
        // Polling is back, so the loader port was closed before: anything it sent is in the log.
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);
        QVERIFY(!simLog().contains("loader"));
    }

    void aLoaderThatKeepsRefusingFailsAndRetryStartsFromEnter()
    {
        QVERIFY(startSim({"--nak-every", "1"}));
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        form.updatePanel()->setFileChooser(
            [](const QString&) { return QStringLiteral(KX_HEX_DATA "/small.hex"); });
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 5000);
        QTest::keyClick(&form, Qt::Key_F3);
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Failed!"), 20000);
        QCOMPARE(simLog().count("line refused"), 5);
        auto* retry = form.findChild<QAbstractButton*>("RetryUpdate");
        QVERIFY(retry->isVisible());
        retry->click();
        QVERIFY(!retry->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(simLog().count("loader enter message (again): accepted"), 1,
                                  5000);
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Failed!"), 20000);
        form.findChild<QAbstractButton*>("CloseUpdate")->click();
        QVERIFY(form.findChild<QWidget*>("WeighPanel")->isEnabled());
    }

    // bsl.Ini's LineDelay=0 means the next line follows the ACK at once; the update goes
    // through, and a second F3 with a shorter file counts its own lines.
    void aLineDelayOfZeroCompletesAndF3AgainCountsTheNewFile()
    {
        QVERIFY(writeFile("bsl.Ini", "[BSL]\r\nLineDelay=0\r\n"));
        QVERIFY(writeFile("loghex.dta", ""));
        QVERIFY(writeFile("view.log", ""));
        QVERIFY(startSim({}));
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        QString file = QStringLiteral(KX_HEX_DATA "/image.hex");
        form.updatePanel()->setFileChooser([&](const QString&) { return file; });
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 5000);
        QTest::keyClick(&form, Qt::Key_F3);
        auto* bar = form.findChild<QProgressBar*>("ProgressBar");
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 40, 15000);
        shot(form, "update-running.png");
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Complete!!"), 60000);
        QCOMPARE(bar->maximum(), 194);
        QCOMPARE(simLog().count("-- line: accepted"), 194);
        auto* log = form.findChild<QListWidget*>("LogList");
        QVERIFY(log->isVisible());
        QVERIFY(
            log->item(log->count() - 2)->text().startsWith(QStringLiteral(">> <EOT><84>  <84>")));

        // F3 again over the finished update: a file of 6 lines is 6 lines, not 194.
        file = QStringLiteral(KX_HEX_DATA "/small.hex");
        QTest::keyClick(&form, Qt::Key_F3);
        QCOMPARE(bar->maximum(), 6);
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Complete!!"), 30000);
        QCOMPARE(bar->value(), 6);
        shot(form, "update-complete.png");
        QTest::keyClick(&form, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 10000);
    }

    // While the loader port has the line, F2 and F4 open nothing: no second handle on the
    // device, no editor over a closed main port.
    void f2AndF4DoNothingDuringAnUpdate()
    {
        QVERIFY(startSim({}));
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        form.updatePanel()->setFileChooser(
            [](const QString&) { return QStringLiteral(KX_HEX_DATA "/image.hex"); });
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 5000);
        QTest::keyClick(&form, Qt::Key_F3);
        QTRY_VERIFY_WITH_TIMEOUT(form.findChild<QProgressBar*>("ProgressBar")->value() > 2, 15000);
        QStringList opened;
        // A dialog that opened anyway is noted and closed, so the test goes on to say so.
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                opened << w->objectName();
                w->close();
            }
        });
        closer.start(100);
        QTest::keyClick(&form, Qt::Key_F2);
        QTest::keyClick(&form, Qt::Key_F4);
        QTest::qWait(300);
        QVERIFY2(opened.isEmpty(), qPrintable(opened.join(QLatin1Char(' '))));
        QVERIFY(form.findChild<QWidget*>("Progress_Panel")->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Complete!!"), 60000);
        QCOMPARE(simLog().count("-- line: accepted"), 194);
        form.findChild<QAbstractButton*>("CloseUpdate")->click();
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 10000);
    }

    // Closing the window mid-update stops it: the panel and the log go before "SHUTTING
    // DOWN..." shows.
    void closingTheWindowStopsTheUpdate()
    {
        QVERIFY(writeFile("bsl.Ini", "[BSL]\r\nLineDelay=10\r\n"));
        QVERIFY(writeFile("loghex.dta", ""));
        QVERIFY(writeFile("view.log", ""));
        QVERIFY(startSim({}));
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        form.updatePanel()->setFileChooser(
            [](const QString&) { return QStringLiteral(KX_HEX_DATA "/image.hex"); });
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 5000);
        QTest::keyClick(&form, Qt::Key_F3);
        QTRY_VERIFY_WITH_TIMEOUT(form.findChild<QProgressBar*>("ProgressBar")->value() > 5, 15000);
        QVERIFY(form.findChild<QWidget*>("LogList")->isVisible());
        form.close();
        QVERIFY(!form.findChild<QWidget*>("Progress_Panel")->isVisible());
        QVERIFY(!form.findChild<QWidget*>("LogList")->isVisible());
        QVERIFY(form.findChild<QWidget*>("ShuttingDownPanel")->isVisible());
        shot(form, "update-closing.png");
        // That nothing is sent after it is the stepped update tests' to show.
        QVERIFY(simLog().count("-- line: accepted") < 194);
    }

    // With "Backup Before Write" as it comes (on), F3 first reads the indicator's setup into
    // SAVED/BACKUP while the window goes on; the update follows.
    void theBackupBeforeAnUpdateIsSavedAndTheUpdateFollows()
    {
        QTemporaryDir own;
        QFile ini(own.filePath("Port.Ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\n"
                  "Stop Bits=0\r\nMode=0\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=1\r\n"
                  "[Devices]\r\n1=" +
                  link().toLocal8Bit() + "\r\n");
        ini.close();
        QVERIFY(startSim({}));
        TMainForm form(own.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        int asked = 0;
        form.updatePanel()->setFileChooser([&](const QString&) {
            ++asked;
            return QStringLiteral(KX_HEX_DATA "/small.hex");
        });
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(form.findChild<QWidget*>("Weight")->accessibleName(),
                                  QStringLiteral("  12.50"), 5000);
        QTest::keyClick(&form, Qt::Key_F3);
        QCOMPARE(asked, 0); // the backup comes first, and the key returned
        QTRY_COMPARE_WITH_TIMEOUT(asked, 1, 30000);
        const QStringList saved =
            QDir(own.filePath("SAVED/BACKUP")).entryList({"*.dat"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(label(form), QStringLiteral("Transfer Complete!!"), 30000);
        form.findChild<QAbstractButton*>("CloseUpdate")->click();
    }
};

QTEST_MAIN(FirmwareSimTest)
#include "tst_firmware_sim.moc"
