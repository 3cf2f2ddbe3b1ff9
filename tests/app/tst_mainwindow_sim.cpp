#include "SimProcess.h"
#include "app/FaceWidgets.h"
#include "app/TMainForm.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include "app/TComForm.h"
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
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
        QVERIFY(startSimulator(
            sim, link(),
            {"--weight", "12.5", "--load-every", "0", "--log", dir.filePath("sim.log")}));
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
        for (const char* mark :
             {"lbUnitsArrow", "kgUnitsArrow", "gUnitsArrow", "ozUnitsArrow", "NetArrow"})
            QVERIFY2(!form.findChild<Mark*>(mark)->isLit(), mark);

        // Once, and without a box: which device went and why, and that it is being retried.
        auto* lineLabel = form.findChild<QLabel*>("LineLabel");
        QVERIFY(lineLabel->isVisible());
        QVERIFY2(lineLabel->text().startsWith("Line lost: " + link()),
                 qPrintable(lineLabel->text()));
        QVERIFY(lineLabel->text().endsWith("Trying again every 3 s."));
        QVERIFY(form.panel().retryingLine());

        // Back again on the same device: the face comes back by itself, no key pressed. The
        // old simulator must be gone first, however slowly a busy machine lets it end.
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(10000));
        QTest::qWait(3500); // a try or two finds nothing and says nothing
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        sim.start();
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link()), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(weight->accessibleName(), QStringLiteral("  12.50"), 5000);
        QVERIFY(connected->accessibleName().startsWith("Connected!  "));
        QVERIFY(!lineLabel->isVisible());
        QVERIFY(!form.panel().retryingLine());
        form.grab().save(dir.filePath("face-back.png"));
        if (!qEnvironmentVariableIsEmpty("KX_SCREENSHOTS"))
            form.grab().save(qEnvironmentVariable("KX_SCREENSHOTS") + "/face-back.png");

        // Lost again, and a face key pressed meanwhile: the port settings open and say why.
        sim.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(connected->accessibleName(), QStringLiteral("Not Connected."),
                                  5000);
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(10000));
        QString reason;
        QTimer::singleShot(100, [&] {
            auto* reasonLabel = form.ComForm()->findChild<QLabel*>("ReasonLabel");
            if (form.ComForm()->isVisible() && reasonLabel->isVisible())
                reason = reasonLabel->text();
            // The user puts the indicator back before closing the dialog.
            sim.start();
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(link()); }, 5000));
            form.ComForm()->CloseButton->click();
        });
        QTest::mouseClick(form.findChild<QAbstractButton*>("UnitsButton"), Qt::LeftButton);
        QVERIFY2(reason.startsWith("Not connected (" + link()), qPrintable(reason));
        QVERIFY(reason.endsWith("the key needs the line, so the port settings opened."));
        QTRY_VERIFY_WITH_TIMEOUT(connected->accessibleName().startsWith("Connected!  "), 5000);
    }

    // The port changed to one that does not open: the face has let go of the old reading
    // before the box says so, not after.
    void aFailedReopenClearsTheFaceBeforeItsBox()
    {
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        form.show();
        auto* weight = form.findChild<QWidget*>("Weight");
        auto* connected = form.findChild<QWidget*>("ConnectedLabel");
        // A live reading, whichever unit the last test left the indicator in.
        QTRY_VERIFY_WITH_TIMEOUT(connected->accessibleName().startsWith("Connected!  "), 5000);
        QVERIFY(weight->accessibleName().contains('.'));

        QString behindTheBox;
        QTimer watch; // the box is modal: it is seen from inside its own loop
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            behindTheBox = connected->accessibleName() + '|' + weight->accessibleName() + '|' +
                           box->windowTitle();
            watch.stop();
            box->accept();
        });
        QTimer::singleShot(100, [&] {
            TComForm* ports = form.ComForm();
            ports->ComNo->selectAll();
            QTest::keyClicks(ports->ComNo, "7"); // no device is mapped to port 7
            watch.start();
            ports->CloseButton->click();
        });
        QTest::keyClick(&form, Qt::Key_F2);
        QTRY_VERIFY_WITH_TIMEOUT(!behindTheBox.isEmpty(), 10000);
        QCOMPARE(behindTheBox, QStringLiteral("Not Connected.|------|PORT ERROR"));
        // A port the user chose and that failed is his to change: no tries behind his back.
        QVERIFY(!form.panel().retryingLine());
        // Back to port 1 for the other tests.
        QTimer::singleShot(100, [&] {
            form.ComForm()->ComNo->selectAll();
            QTest::keyClicks(form.ComForm()->ComNo, "1");
            form.ComForm()->CloseButton->click();
        });
        QTest::keyClick(&form, Qt::Key_F2);
        QTRY_VERIFY_WITH_TIMEOUT(connected->accessibleName().startsWith("Connected!  "), 5000);
    }
};

QTEST_MAIN(MainWindowSimTest)
#include "tst_mainwindow_sim.moc"
