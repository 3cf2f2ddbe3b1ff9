#include "SimProcess.h"
#include "app/FaceWidgets.h"
#include "app/TMainForm.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include "app/TComForm.h"
#include <QAbstractButton>
#include <QAccessible>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kx;
using kx::test::startSimulator;
using kx::test::writePortIni;

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
        QVERIFY(startSimulator(sim, link(),
                               {"--weight", "12.5", "--load-every", "0", "--log",
                                dir.filePath("sim.log")}));
        QVERIFY(writePortIni(dir.path(), link(),
                             "[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\n"
                             "Stop Bits=0\r\nMode=0\r\n[Advanced]\r\nVersion=0\r\n"
                             "Custom Outputs=1\r\n"));
    }
    void cleanupTestCase()
    {
        sim.terminate();
        sim.waitForFinished(3000);
    }

    void theFaceIsReadableByAssistiveTechnology()
    {
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        form.show();
        auto* weight = form.findChild<QWidget*>("Weight");
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);
        const auto name = [](QWidget* w) {
            return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        };
        for (const char* control : {"Weight",
                                    "TareWt",
                                    "ConnectedLabel",
                                    "CommandSent",
                                    "NetArrow",
                                    "lbUnitsArrow",
                                    "gUnitsArrow",
                                    "kgUnitsArrow",
                                    "ozUnitsArrow",
                                    "BatteryArrow",
                                    "CenterOfZero",
                                    "UnitsButton",
                                    "ZeroButton",
                                    "NetButton",
                                    "AutoTareButton",
                                    "PrintButton",
                                    "OnOffButton",
                                    "F1HelpButton",
                                    "F2PortSettingsButton",
                                    "F3UpdateButton",
                                    "F4ParametersButton",
                                    "TrendButton",
                                    "ShuttingDownPanel",
                                    "WeightPanel",
                                    "WeighPanel"}) {
            auto* w = form.findChild<QWidget*>(QString::fromLatin1(control));
            QVERIFY2(w, control);
            QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description),
                     QString::fromLatin1(control));
        }
        QCOMPARE(name(weight), QStringLiteral("  12.50"));
        QVERIFY(name(form.findChild<QWidget*>("ConnectedLabel")).startsWith("Connected!  "));
        QCOMPARE(name(form.findChild<QWidget*>("lbUnitsArrow")), QStringLiteral("lb lit"));
        QCOMPARE(name(form.findChild<QWidget*>("kgUnitsArrow")), QStringLiteral("kg dark"));
        QCOMPARE(name(form.findChild<QWidget*>("F2PortSettingsButton")),
                 QStringLiteral("F2-Port Settings"));
        auto* zero = QAccessible::queryAccessibleInterface(form.findChild<QWidget*>("ZeroButton"));
        QCOMPARE(zero->role(), QAccessible::Button);
        QCOMPARE(zero->text(QAccessible::Name), QStringLiteral("ZERO"));
        QVERIFY(zero->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
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
        QVERIFY(!form.panel().connected());
        // No indicator, no marks.
        for (const char* mark : {"lbUnitsArrow", "kgUnitsArrow", "gUnitsArrow", "ozUnitsArrow",
                                 "NetArrow"})
            QVERIFY2(!form.findChild<Mark*>(mark)->isLit(), mark);

        // Back again: the port settings dialog's reopen finds it. The old simulator must be gone
        // first, however slowly a busy machine lets it end.
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(10000));
        sim.start();
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link()), 5000);
        QTimer::singleShot(100, form.ComForm(), &QDialog::reject);
        form.panel().WeightDblClick();
        QTRY_VERIFY_WITH_TIMEOUT(form.panel().connected(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);
    }
};

QTEST_MAIN(MainWindowSimTest)
#include "tst_mainwindow_sim.moc"
