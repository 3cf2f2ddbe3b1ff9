#include "FakeSerialDevice.h"
#include "app/TMainForm.h"
#include "help/ManualLauncher.h"
#include "help/THelpAboutForm.h"
#include "link/QtClock.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kx;

// The help as a user reaches it: the caption, the reader set up at the first activation,
// and F1 on the main window.
class MainWindowHelpTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void f1ShowsTheVersionDataTwiceAfterTheReaderIsSetUp()
    {
        const QString shared =
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                .filePath("Morvell Scales/ADOBE.INI");
        QFile::remove(shared);
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<test::FakeSerialDevice>());
        QCOMPARE(form.windowTitle(), QStringLiteral("KXLINK Utility Version 3.0.0.1"));
        form.show();
        QTRY_VERIFY(QFileInfo::exists(shared));
        QCOMPARE(form.manualLauncher().readerPath(), ManualLauncher::desktopOpener());
        QCOMPARE(form.manualLauncher().places().manual,
                 QDir(QCoreApplication::applicationDirPath()).filePath("60387.PDF"));

        for (int round = 0; round < 2; ++round) {
            QStringList shown;
            QTimer::singleShot(0, [&] {
                THelpAboutForm* about = form.HelpAboutForm();
                QVERIFY(about->isVisible());
                shown = about->ValuesMemo->toPlainText().split('\n');
                about->CloseButton->click();
            });
            QTest::keyClick(&form, Qt::Key_F1);
            QCOMPARE(shown.size(), 10);
            QCOMPARE(shown.at(2), QStringLiteral("3.0.0.1"));
            QCOMPARE(shown.at(7), QCoreApplication::applicationFilePath());
            QVERIFY(!form.HelpAboutForm()->isVisible());
        }
    }
};

QTEST_MAIN(MainWindowHelpTest)
#include "tst_mainwindow_help.moc"
