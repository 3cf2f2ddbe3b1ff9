// "Report…" on the main window, as a user drives it with the keyboard, against the simulator:
// the names asked for are kept for next time, the indicator is read, and the report is written
// and handed to the desktop's opener.
#include "FakeDialogs.h"
#include "SimProcess.h"
#include "app/ReportEntry.h"
#include "app/TMainForm.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"
#include "settings/IniDocument.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

using namespace kx;
using kx::test::readAll;
using kx::test::startSimulator;
using kx::test::writePortIni;

class ReportSimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sim;
    FakeDialogs dialogs;
    std::unique_ptr<TMainForm> form;

    QString opened() const { return QString::fromUtf8(readAll(dir.filePath("opened.txt"))); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // The desktop's opener is a script that notes what it was given; no reader the
        // machine knows of is found.
        QVERIFY(QDir().mkpath(dir.filePath("bin")));
        QFile opener(dir.filePath("bin/xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\nprintf '%s' \"$1\" > '" + dir.filePath("opened.txt").toUtf8() +
                     "'\n");
        opener.close();
        opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        qputenv("PATH", dir.filePath("bin").toLocal8Bit() + ":/usr/bin:/bin");
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        QVERIFY(startSimulator(sim, dir.filePath("tty"), {"--load-every", "0"}));
        QVERIFY(writePortIni(dir.path(), dir.filePath("tty"),
                             "[Scale Port]\r\nPort=1\r\nBaud=3\r\nMode=0\r\n"));
        form = std::make_unique<TMainForm>(dir.path(), QtClock::instance(),
                                           std::make_unique<QtSerialDevice>(), &dialogs);
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().connected(), 5000);
    }
    void cleanupTestCase()
    {
        form.reset();
        sim.terminate();
        sim.waitForFinished(10000);
    }

    void ctrlRAsksReadsWritesAndOpens()
    {
        QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
        QDialog* dialog = form->reportEntry().dialog();
        QTRY_VERIFY(dialog && dialog->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTRY_COMPARE(QApplication::focusWidget(), dialog->findChild<QLineEdit*>("Technician"));
        QTest::keyClicks(QApplication::focusWidget(), "A. Tech");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "Line 3");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "Scale checked");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!dialog->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!form->reportEntry().lastReport().isEmpty(), 20000);
        const QString report = form->reportEntry().lastReport();
        QVERIFY(report.startsWith(dir.filePath("SAVED/REPORTS/")));
        QVERIFY(readAll(report).startsWith("%PDF"));
        QVERIFY(QFile::exists(report + ".sha256"));
        QTRY_COMPARE_WITH_TIMEOUT(opened(), report, 5000);
        // The line went back to the face: it weighs again.
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().connected(), 5000);

        IniDocument kept;
        QVERIFY(kept.load(dir.filePath("Report.Ini")));
        QCOMPARE(kept.readString("Report", "Technician", ""), QByteArray("A. Tech"));
        QCOMPARE(kept.readString("Report", "Site", ""), QByteArray("Line 3"));
        // Asked again, the names are there; Escape writes nothing.
        QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY(dialog->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(dialog->findChild<QLineEdit*>("Technician")->text(), QString("A. Tech"));
        QCOMPARE(dialog->findChild<QLineEdit*>("Site")->text(), QString("Line 3"));
        if (qEnvironmentVariableIsSet("KX_REPORT_SHOT"))
            dialog->grab().save(qEnvironmentVariable("KX_REPORT_SHOT"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(QDir(dir.filePath("SAVED/REPORTS")).entryList(QDir::Files).size(), 2);
    }
};

QTEST_MAIN(ReportSimTest)
#include "tst_report_sim.moc"
