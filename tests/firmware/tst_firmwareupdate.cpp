#include "FirmwareUpdateFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;
using namespace kx::test;

// The update window's behaviour without the window: hand-over, file check, panel states.
class FirmwareUpdateTest : public QObject, FirmwareUpdateFixture
{
    Q_OBJECT

private slots:
    void init() { startCase(); }
    void cleanup() { endCase(); }

    void f3TakesTheLineAndCopiesTheMainPortSettings()
    {
        make();
        view->answer = write("image.hex", hexFile(2));
        update->F3UpdateButtonClick();
        QCOMPARE(host->events, (QStringList{"take", "disable"}));
        QCOMPARE(view->askedIn, dir.path());
        QVERIFY(update->ScalePort().IsOpen());
        QCOMPARE(loaderDev->lastPath, QStringLiteral("/dev/fake3"));
        QCOMPARE(loaderDev->lastSettings.baud, 9600);
        QCOMPARE(loaderDev->lastSettings.parity, Parity::Even);
        QCOMPARE(loaderDev->lastSettings.dataBits, 7);
        QCOMPARE(update->panel().label, QStringLiteral("Transferring image.hex, 0% complete."));
        QVERIFY(host->panelShown);
        QCOMPARE(runAcking(), 5);
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Complete!!"));
        QCOMPARE(update->panel().look, LabelLook::WhiteOnNavy);
        QVERIFY(!update->panel().retryVisible);
        QVERIFY(!update->panel().waitVisible);
        QCOMPARE(view->paintedNow, 1);
        QVERIFY(!view->busy);

        QVERIFY(update->FormKeyUp(Qt::Key_Escape));
        QCOMPARE(host->events.back(), QStringLiteral("give back"));
        QVERIFY(!update->ScalePort().IsOpen());
        QCOMPARE(update->ScalePort().ComNumber(), 0);
        QVERIFY(!host->panelShown);
        QVERIFY(!update->FormKeyUp(Qt::Key_Escape));
    }

    void theReloadWaitIsAHundredTicks()
    {
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        qint64 endAck = 0;
        for (qint64 t = 0; t < 20000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            const QByteArray w = loaderDev->takeWritten();
            if (!w.isEmpty()) {
                if (w == QByteArray("\x04\x84"))
                    endAck = clock.nowMs();
                loaderDev->feed(QByteArray(1, '\x06'));
                clock.runPosted();
            }
        }
        const qint64 waited = clock.nowMs() - endAck;
        QVERIFY2(waited >= 100 * 55 && waited <= 101 * 55 + 1, qPrintable(QString::number(waited)));
    }

    void progressShowsLinesAndTheTimeLeftFromTheLineRate()
    {
        write("bsl.Ini", "[BSL]\r\nLineDelay=10000\r\n");
        make();
        view->answer = write("image.hex", hexFile(5));
        update->F3UpdateButtonClick();
        runAcking(120000);
        // An answer comes at once, so lines go 10000 ms apart; the enter pause before the first
        // line does not count.
        QVERIFY(view->details.contains(QStringLiteral("1 of 6 lines")));
        QVERIFY(view->details.contains(QStringLiteral("3 of 6 lines, about 0:30 left")));
        QVERIFY(view->details.contains(QStringLiteral("6 of 6 lines, about 0:00 left")));
        QVERIFY(update->panel().detail.isEmpty());
    }

    void cancellingTheDialogHandsTheLineBack()
    {
        make();
        update->F3UpdateButtonClick();
        QCOMPARE(host->events, (QStringList{"take", "disable", "give back"}));
        QVERIFY(!update->ScalePort().IsOpen());
        QVERIFY(!view->busy);
    }

    void aFaultyFileIsRefusedBeforeAnyByteIsSent()
    {
        make();
        view->answer = write("bad.hex", ":01000000AB54\r\n:01000000AB55\r\n:00000001FF\r\n");
        update->F3UpdateButtonClick();
        QCOMPARE(view->refusals.size(), 1);
        QVERIFY(view->refusals[0].contains(QStringLiteral("bad.hex")));
        QVERIFY(view->refusals[0].contains(QStringLiteral("Line 2: the checksum is wrong")));
        QCOMPARE(host->events.back(), QStringLiteral("give back"));
        clock.advance(5000);
        QVERIFY(loaderDev->written.isEmpty());
        QVERIFY(!update->panel().visible);
    }

    void theLabelSwapsColoursEveryTwentyLines()
    {
        make();
        view->answer = write("forty.hex", hexFile(39)); // 40 lines with the end record
        update->F3UpdateButtonClick();
        runAcking();
        // The looks shown at positions 0..40: swapped at 0, 20 and 40.
        QList<LabelLook> atPositions;
        for (const LabelLook l : view->looks)
            if (atPositions.isEmpty() || atPositions.back() != l)
                atPositions << l;
        QCOMPARE(atPositions, (QList<LabelLook>{LabelLook::RedOnYellow, LabelLook::YellowOnRed,
                                                LabelLook::RedOnYellow, LabelLook::WhiteOnNavy}));
    }

    void failureOffersRetryWhichStartsFromEnter()
    {
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        for (qint64 t = 0; t < 5000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                loaderDev->feed(QByteArray(1, '\x15'));
                clock.runPosted();
            }
        }
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Failed!"));
        QVERIFY(update->panel().retryVisible);
        QVERIFY(update->FormKeyUp(Qt::Key_Return) && host->panelShown == false);
        // Retry after Close is not possible; start again and retry from the failure.
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        for (qint64 t = 0; t < 5000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                loaderDev->feed(QByteArray(1, '\x15'));
                clock.runPosted();
            }
        }
        update->RetryUpdateClick();
        QVERIFY(!update->panel().retryVisible);
        clock.advance(200);
        QCOMPARE(loaderDev->takeWritten(), QByteArray("\x02"
                                                      "BSL\x03\xDC"));
    }

    void closeDuringATransferStopsIt()
    {
        make();
        view->answer = write("image.hex", hexFile(3));
        update->F3UpdateButtonClick();
        clock.advance(250);
        QVERIFY(!loaderDev->takeWritten().isEmpty());
        view->answer.clear();
        update->F3UpdateButtonClick(); // F3 again, dialog cancelled: Close
        QVERIFY(!update->loader().stepScheduled());
        QCOMPARE(update->loader().sendStep(), SendStep::Idle);
        clock.advance(5000);
        QVERIFY(loaderDev->takeWritten().isEmpty());
    }

    // bsl.Ini lets a user take the wait between lines away; it must never stop the update.
    void aLineDelayOfZeroOrLessMeansNoWait_data()
    {
        QTest::addColumn<QByteArray>("delay");
        QTest::newRow("0") << QByteArray("0");
        QTest::newRow("-5") << QByteArray("-5");
    }
    void aLineDelayOfZeroOrLessMeansNoWait()
    {
        QFETCH(QByteArray, delay);
        write("bsl.Ini", "[BSL]\r\nLineDelay=" + delay + "\r\n");
        make();
        view->answer = write("image.hex", hexFile(4));
        update->F3UpdateButtonClick();
        QList<qint64> sentAt;
        for (qint64 t = 0; t < 10000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                sentAt << clock.nowMs();
                feed(Ack);
            }
        }
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Complete!!"));
        QCOMPARE(sentAt.size(), 7); // enter, five lines, end
        // Each message after a line follows its ACK within the same millisecond step.
        for (int i = 2; i < sentAt.size(); ++i)
            QVERIFY2(sentAt[i] - sentAt[i - 1] <= 1, qPrintable(QString::number(i)));
    }

    // F3 over a finished update with a longer file: the bar is the new file's.
    void f3AgainMeasuresTheNewFile()
    {
        make();
        view->answer = write("short.hex", hexFile(1));
        update->F3UpdateButtonClick();
        runAcking();
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Complete!!"));
        view->answer = write("long.hex", hexFile(7));
        update->F3UpdateButtonClick();
        QCOMPARE(update->panel().barMax, 8);
        QCOMPARE(update->panel().label, QStringLiteral("Transferring long.hex, 0% complete."));
        QStringList labels;
        for (qint64 t = 0; t < 60000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                feed(Ack);
                labels << update->panel().label;
            }
        }
        QVERIFY(labels.contains(QStringLiteral("Transferring long.hex, 50% complete.")));
        QVERIFY(labels.contains(QStringLiteral("Transferring long.hex, 100% complete.")));
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Complete!!"));
        QCOMPARE(update->panel().barPosition, 8);
    }

    // The reload wait is a state: Close during it stops it, and the label never claims success.
    void closeDuringTheReloadWait()
    {
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        drive(5000, [](const QByteArray&) { return Ack; },
              [&] { return update->phase() == UpdatePhase::Reloading; });
        QVERIFY(update->panel().waitVisible);
        QVERIFY(update->reloadWaiting());
        update->CloseUpdateClick();
        QCOMPARE(update->phase(), UpdatePhase::Idle);
        QVERIFY(!update->reloadWaiting());
        clock.advance(10000);
        QVERIFY(!update->panel().visible);
        QCOMPARE(host->events.back(), QStringLiteral("give back"));
        QCOMPARE(view->ends.size(), 1);
        QCOMPARE(view->ends[0].outcome, Outcome::Completed);
    }

    // An unplugged adapter fails the run at once; once it is back, Retry opens it again.
    void retryAfterAnUnplugOpensTheLoaderPortAgain()
    {
        reach("line sent");
        loaderDev->unplug();
        clock.runPosted();
        QCOMPARE(update->phase(), UpdatePhase::Failed);
        QCOMPARE(view->ends.size(), 1);
        QCOMPARE(view->ends[0].outcome, Outcome::LineFailed);
        QVERIFY(!update->ScalePort().IsOpen());
        const int opens = loaderDev->opens;
        update->RetryUpdateClick();
        QCOMPARE(loaderDev->opens, opens + 1);
        QCOMPARE(loaderDev->lastPath, QStringLiteral("/dev/fake3"));
        drive(10000, [](const QByteArray&) { return Ack; },
              [&] { return update->phase() == UpdatePhase::Done; });
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Complete!!"));
        QCOMPARE(view->ends.size(), 2);
    }

    void keepGoingRepeatsTheUpdate()
    {
        write("keep.going", "");
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        runAcking();
        QVERIFY(update->retryTimer().enabled());
        clock.advance(2500);
        QVERIFY(!update->panel().closeVisible);
        QCOMPARE(loaderDev->takeWritten(), QByteArray());
        clock.advance(200);
        QCOMPARE(loaderDev->takeWritten(), QByteArray("\x02"
                                                      "BSL\x03\xDC"));
    }

    void loaderSettings_data()
    {
        QTest::addColumn<QByteArray>("ini"); // empty: no bsl.Ini
        QTest::addColumn<bool>("logMarker");
        QTest::addColumn<int>("lineDelay");
        QTest::addColumn<bool>("logging");
        QTest::newRow("no bsl.Ini") << QByteArray() << true << 10 << false;
        QTest::newRow("no key") << QByteArray("[BSL]\r\n") << false << 10 << false;
        QTest::newRow("delay and log")
            << QByteArray("[BSL]\r\nLineDelay=25\r\n") << true << 25 << true;
    }
    void loaderSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, logMarker);
        QFETCH(int, lineDelay);
        QFETCH(bool, logging);
        if (!ini.isEmpty())
            write("bsl.Ini", ini);
        if (logMarker)
            write("loghex.dta", "");
        make();
        QCOMPARE(update->loader().lineDelay(), lineDelay);
        QCOMPARE(update->loader().logging(), logging);
    }
};

QTEST_GUILESS_MAIN(FirmwareUpdateTest)
#include "tst_firmwareupdate.moc"
