#include "FrontPanelFixture.h"

#include <QFile>
#include <QTest>

using namespace kx;
using kx::test::FrontPanelFixture;

namespace {
enum : int
{
    D0 = FaceModel::DigitCode,
    Pt = FaceModel::PointCode,
};
}

// Key commands, the tare entry and the keyboard, with a frame shown on the face.
class KeyCommandsTest : public QObject
{
    Q_OBJECT

    // Connects and shows one frame with the given weight text.
    static void showWeight(FrontPanelFixture& f, const QByteArray& weight)
    {
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame(weight, ' '));
        f.clock.advance(100);
        f.device->takeWritten();
    }
    static void nextFrame(FrontPanelFixture& f)
    {
        f.device->feed(FrontPanelFixture::frame("1.00", ' '));
        f.clock.advance(100);
    }

private slots:
    void keyGoesOutAfterTheNextFrameAndTheNoteLastsElevenFrames()
    {
        FrontPanelFixture f;
        showWeight(f, "1.00");
        f.panel->face().CommandClick(FaceModel::ZeroTag);
        f.clock.advance(500);
        QVERIFY(!f.device->written.contains('Z'));
        QVERIFY(!f.face().CommandSentVisible);
        nextFrame(f);
        QCOMPARE(f.device->takeWritten(), QByteArray("Z"));
        QVERIFY(f.face().CommandSentVisible);
        for (int i = 0; i < 10; ++i)
            nextFrame(f);
        QVERIFY(f.face().CommandSentVisible);
        nextFrame(f);
        QVERIFY(!f.face().CommandSentVisible);
    }

    void eachKeySendsItsLetter_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("Units") << int(FaceModel::UnitsTag) << QByteArray("U");
        QTest::newRow("Zero") << int(FaceModel::ZeroTag) << QByteArray("Z");
        QTest::newRow("Net") << int(FaceModel::NetTag) << QByteArray("G");
        QTest::newRow("Auto Tare") << int(FaceModel::AutoTareTag) << QByteArray("A");
        QTest::newRow("Print") << int(FaceModel::PrintTag) << QByteArray("P");
    }
    void eachKeySendsItsLetter()
    {
        QFETCH(int, tag);
        QFETCH(QByteArray, sent);
        FrontPanelFixture f;
        showWeight(f, "1.00");
        f.panel->face().CommandClick(FaceModel::UnitsTag);
        f.panel->face().CommandClick(tag); // a new click replaces the pending key
        nextFrame(f);
        QCOMPARE(f.device->takeWritten(), sent);
    }

    void noPrintFileSilencesThePrintKeyWhileItExists()
    {
        FrontPanelFixture f;
        showWeight(f, "1.00");
        QFile marker(f.dir.filePath("NoPrint.cmd"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        f.panel->face().CommandClick(FaceModel::PrintTag);
        nextFrame(f);
        QCOMPARE(f.host.beeps, 1);
        QVERIFY(f.device->takeWritten().isEmpty());
        QVERIFY(marker.remove());
        f.panel->face().CommandClick(FaceModel::PrintTag);
        nextFrame(f);
        QCOMPARE(f.device->takeWritten(), QByteArray("P"));
    }

    void tareEntry_data()
    {
        QTest::addColumn<QByteArray>("weight");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("beeps");
        QTest::newRow("two decimals, one too many")
            << QByteArray("  12.34") << QList<int>{D0 + 1, D0 + 2, Pt, D0 + 5, D0 + 0, D0 + 7}
            << "12.50" << 1;
        QTest::newRow("point first") << QByteArray("  12.34") << QList<int>{Pt} << "0." << 0;
        QTest::newRow("second point")
            << QByteArray("  12.34") << QList<int>{D0 + 1, Pt, Pt} << "1." << 1;
        QTest::newRow("no decimals on the face")
            << QByteArray("   1234") << QList<int>{D0 + 9, Pt} << "9" << 1;
        QTest::newRow("seven characters at most")
            << QByteArray("   1234")
            << QList<int>{D0 + 1, D0 + 2, D0 + 3, D0 + 4, D0 + 5, D0 + 6, D0 + 7, D0 + 8}
            << "1234567" << 1;
        QTest::newRow("point after five characters")
            << QByteArray("  12.34") << QList<int>{D0 + 1, D0 + 2, D0 + 3, D0 + 4, D0 + 5, Pt}
            << "12345" << 1;
    }
    void tareEntry()
    {
        QFETCH(QByteArray, weight);
        QFETCH(QList<int>, keys);
        QFETCH(QString, entry);
        QFETCH(int, beeps);
        FrontPanelFixture f;
        showWeight(f, weight);
        for (int k : keys)
            f.panel->face().TareNumberClick(k);
        QCOMPARE(f.face().TareWt, entry);
        QCOMPARE(f.face().TareWtVisible, !entry.isEmpty());
        QCOMPARE(f.host.beeps, beeps);
    }

    void digitsAreRefusedWhileTheWeightIsBlank()
    {
        FrontPanelFixture f;
        showWeight(f, "1.00");
        for (int i = 0; i < 40 && f.face().Weight != QLatin1String("------"); ++i)
            f.clock.advance(100);
        QCOMPARE(f.face().Weight, QStringLiteral("------"));
        f.panel->face().TareNumberClick(D0 + 1);
        QCOMPARE(f.host.beeps, 1);
        QVERIFY(!f.face().TareWtVisible);
    }

    void enterSendsTheTareAfterTheNextFrameAndTheEntryGoes()
    {
        FrontPanelFixture f;
        showWeight(f, "  12.34");
        for (int k : QList<int>{D0 + 1, D0 + 2, Pt, D0 + 5, D0 + 0})
            f.panel->face().TareNumberClick(k);
        f.panel->face().ButtonEnterClick();
        QVERIFY(f.face().TareWtVisible);
        QVERIFY(!f.face().TareWtEnabled);
        // Sent but not yet acknowledged by a frame: further digits are refused.
        f.panel->face().TareNumberClick(D0 + 1);
        QCOMPARE(f.host.beeps, 1);
        QVERIFY(f.device->written.isEmpty());
        nextFrame(f);
        QCOMPARE(f.device->takeWritten(), QByteArray("T12.50\r"));
        QVERIFY(!f.face().TareWtVisible);
        QVERIFY(f.face().TareWtEnabled);
        QVERIFY(!f.face().CommandSentVisible);
    }

    void enterWithoutAnEntrySendsBelAtOnce()
    {
        FrontPanelFixture f;
        showWeight(f, "1.00");
        f.panel->FormKeyUp(Qt::Key_Return);
        QCOMPARE(f.device->takeWritten(), QByteArray("\a"));
        QVERIFY(!f.face().CommandSentVisible);
    }

    void backspaceShortensThenCloses()
    {
        FrontPanelFixture f;
        showWeight(f, "  12.34");
        f.panel->FormKeyUp(Qt::Key_4);
        f.panel->FormKeyUp(Qt::Key_2);
        f.panel->FormKeyUp(Qt::Key_Backspace);
        QCOMPARE(f.face().TareWt, QStringLiteral("4"));
        f.panel->FormKeyUp(Qt::Key_Left);
        QVERIFY(!f.face().TareWtVisible);
        f.panel->FormKeyUp(Qt::Key_7);
        QCOMPARE(f.face().TareWt, QStringLiteral("7"));
    }

    void aKeyAbandonsAnOpenEntry()
    {
        FrontPanelFixture f;
        showWeight(f, "  12.34");
        f.panel->FormKeyUp(Qt::Key_5);
        f.panel->face().CommandClick(FaceModel::NetTag);
        QVERIFY(!f.face().TareWtVisible);
        QVERIFY(f.face().TareWt.isEmpty());
        nextFrame(f);
        QCOMPARE(f.device->takeWritten(), QByteArray("G"));
    }

    void keyWhileNotConnectedShowsThePortSettingsAndStaysQueued()
    {
        FrontPanelFixture f;
        f.panel->face().CommandClick(FaceModel::UnitsTag);
        QCOMPARE(f.host.portDialogs, 1);
        f.finishOpen();
        QVERIFY(f.panel->connected()); // the dialog's reopen found the port
        QCOMPARE(f.panel->face().pendingKey(), 'U');
    }

    void editorTimerRefreshesTheClockOnlyWhileTheEditorIsOpen()
    {
        FrontPanelFixture f;
        f.connect();
        int duringEditor = 0;
        f.host.onEditor = [&] {
            f.clock.advance(1000);
            duringEditor = f.host.clockRefreshes;
        };
        f.panel->F4OptionsButtonClick();
        QCOMPARE(duringEditor, 10); // one refresh per 100 ms tick
        f.clock.advance(1000);
        QCOMPARE(f.host.clockRefreshes, duringEditor);
        QVERIFY(!f.panel->transfer().editorTimer().enabled());
    }

    void aSecondPortDialogIsNotOpenedInsideTheFirst()
    {
        FrontPanelFixture f;
        f.connect();
        f.host.onPortDialog = [&] {
            f.panel->WeightDblClick();
            f.panel->F4OptionsButtonClick();
            f.panel->face().CommandClick(FaceModel::ZeroTag);
        };
        f.panel->WeightDblClick();
        f.finishOpen();
        QCOMPARE(f.host.portDialogs, 1);
        QCOMPARE(f.host.editors, 0);
        QCOMPARE(f.device->opens, 2); // the first connect and this reopen
        QVERIFY(f.pollTimer().ticking());
    }

    void portSettingsAndEditorPausePolling_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("F2") << int(Qt::Key_F2);
        QTest::newRow("F4") << int(Qt::Key_F4);
    }
    void portSettingsAndEditorPausePolling()
    {
        QFETCH(int, key);
        FrontPanelFixture f(1);
        f.connect();
        f.clock.advance(250);
        QByteArray sentMeanwhile;
        bool tickingMeanwhile = true;
        const auto modal = [&] {
            f.device->takeWritten();
            f.clock.advance(1000); // a nested event loop: time passes while it is open
            sentMeanwhile = f.device->takeWritten();
            tickingMeanwhile = f.pollTimer().ticking();
        };
        f.host.onPortDialog = modal;
        f.host.onEditor = modal;
        f.panel->FormKeyUp(key);
        f.finishOpen();
        QVERIFY(!tickingMeanwhile);
        QVERIFY(!sentMeanwhile.contains('\r'));
        QVERIFY(f.pollTimer().ticking());
        f.clock.advance(300);
        QVERIFY(f.device->takeWritten().contains('\r'));
    }

    // While the update's loader port holds the line, F2 and F4 beep and open nothing; F3
    // chooses the file again without a second backup; after the update's Close they work.
    void f2AndF4BeepWhileAnUpdateHoldsTheLine()
    {
        FrontPanelFixture f;
        f.connect();
        f.port.BackupBeforeWrite = true;
        UpdateHost& update = f.panel->updateHost();
        update.takeLineForUpdate();
        const int opens = f.device->opens;
        f.panel->FormKeyUp(Qt::Key_F2);
        f.panel->FormKeyUp(Qt::Key_F4);
        f.panel->WeightDblClick(); // the bottom bar's F2
        QCOMPARE(f.host.beeps, 3);
        QCOMPARE(f.host.portDialogs, 0);
        QCOMPARE(f.host.editors, 0);
        QCOMPARE(f.device->opens, opens);
        QVERIFY(!f.device->isOpen());
        f.panel->FormKeyUp(Qt::Key_F3);
        QCOMPARE(f.host.firmwareUpdates, 1);
        QVERIFY(f.host.warnings.isEmpty());
        QCOMPARE(f.device->takeWritten(), QByteArray());

        update.giveLineBack();
        f.finishOpen();
        f.panel->FormKeyUp(Qt::Key_F2);
        f.finishOpen(); // F4 while the dialog's reopen runs would beep
        f.panel->FormKeyUp(Qt::Key_F4);
        QCOMPARE(f.host.beeps, 3);
        QCOMPARE(f.host.portDialogs, 1);
        QCOMPARE(f.host.editors, 1);
    }

    // The backup before an update runs on the clock: F3 returns at once, the keys that would
    // take the line do nothing meanwhile, and a silent indicator ends it with the warning
    // and no update.
    void theBackupBeforeAnUpdateRunsWithoutANestedWait()
    {
        FrontPanelFixture f;
        f.connect();
        f.port.BackupBeforeWrite = true;
        const qint64 start = f.clock.nowMs();
        f.panel->FormKeyUp(Qt::Key_F3);
        QCOMPARE(f.clock.nowMs(), start);
        QVERIFY(f.panel->backingUp());
        QVERIFY(f.host.warnings.isEmpty());
        f.clock.advance(1000);
        f.panel->FormKeyUp(Qt::Key_F2);
        f.panel->FormKeyUp(Qt::Key_F4);
        f.panel->FormKeyUp(Qt::Key_F3);
        QCOMPARE(f.host.portDialogs, 0);
        QCOMPARE(f.host.editors, 0);
        QVERIFY(f.device->takeWritten().contains("pcmode"));
        f.clock.advance(40000);
        QVERIFY(!f.panel->backingUp());
        QCOMPARE(f.host.warnings.size(), 1);
        QVERIFY(f.host.warnings[0].startsWith(QStringLiteral("Backup Failed: ")));
        QCOMPARE(f.host.firmwareUpdates, 0);
        QVERIFY(f.pollTimer().ticking());
        f.panel->FormKeyUp(Qt::Key_F2);
        QCOMPARE(f.host.portDialogs, 1);
    }
};

QTEST_GUILESS_MAIN(KeyCommandsTest)
#include "tst_keycommands.moc"
