#include "app/FaceWidgets.h"
#include "app/TMainForm.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QAbstractButton>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

// The program's main window, offscreen, against the indicator simulator on a pseudo-terminal.
class MainWindowSimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sim;

    QString link() const { return dir.filePath("ttyKX7400"); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        sim.setProgram(QStringLiteral(KX_SIM_PATH));
        sim.setArguments({"--link", link(), "--weight", "12.5", "--load-every", "0", "--log",
                          dir.filePath("sim.log")});
        sim.start();
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link()), 5000);
        QFile ini(dir.filePath("Port.Ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\nStop Bits=0\r\n"
                  "Mode=0\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=1\r\n[Devices]\r\n1=" +
                  link().toLocal8Bit() + "\r\n");
    }
    void cleanupTestCase()
    {
        sim.terminate();
        sim.waitForFinished(3000);
    }

    void showsTheSimulatorsWeightAndSendsAKeyAfterTheNextFrame()
    {
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        form.show();
        auto* weight = form.findChild<QWidget*>("Weight");
        auto* connected = form.findChild<QWidget*>("ConnectedLabel");
        QVERIFY(weight && connected);
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);
        QVERIFY(connected->accessibleName().startsWith("Connected!  "));
        QVERIFY(form.findChild<Mark*>("lbUnitsArrow")->isLit());

        auto* units = form.findChild<QAbstractButton*>("UnitsButton");
        QVERIFY(units);
        units->click();
        QTRY_VERIFY_WITH_TIMEOUT(form.findChild<QWidget*>("CommandSent")->isVisible(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(form.findChild<Mark*>("kgUnitsArrow")->isLit(), 3000);
        QVERIFY(!form.findChild<Mark*>("lbUnitsArrow")->isLit());
        QCOMPARE(weight->accessibleName(), QStringLiteral("   5.67"));

        // The indicator goes away (a pulled cable end, a dead adapter): the face says so.
        sim.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(connected->accessibleName(), QStringLiteral("Not Connected."),
                                  5000);
        QCOMPARE(weight->accessibleName(), QStringLiteral("------"));
        QVERIFY(!form.panel().Connected);
    }
};

QTEST_MAIN(MainWindowSimTest)
#include "tst_mainwindow_sim.moc"
