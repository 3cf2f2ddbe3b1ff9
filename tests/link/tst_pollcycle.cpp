#include "FrontPanelFixture.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace kx;
using kx::test::FrontPanelFixture;

// The poll cycle and the receive dispatcher against a scripted port and a stepped clock.
class PollCycleTest : public QObject
{
    Q_OBJECT

private slots:
    void openingArmsTheFourNotificationsAndConnects()
    {
        FrontPanelFixture f;
        f.connect();
        QVERIFY(f.panel->connected());
        QVERIFY(f.allFourNotificationsArmed());
        QCOMPARE(f.device->inputClears, 1);
        QCOMPARE(f.device->lastSettings.baud, 19200);
        QCOMPARE(f.device->lastSettings.parity, Parity::Even);
    }

    void failedOpenIsRetriedOnceThenReported()
    {
        FrontPanelFixture f;
        f.device->openError =
            ChannelError(ChannelError::Kind::NoSuchDevice, "/dev/ttyS0", "no such device");
        f.open();
        QCOMPARE(f.device->opens, 2);
        QCOMPARE(f.host.portErrors, QStringList{"Communications Port Failed"});
        QVERIFY(f.panel->lastOpenError().contains("no such device"));
        QCOMPARE(f.face().Weight, QStringLiteral("------"));
        QCOMPARE(f.face().ConnectedLabel, QStringLiteral("Not Connected."));
    }

    void firstTickWithNoPortShowsTheDialogThenSaysSo()
    {
        FrontPanelFixture f;
        f.port.ComNo = QStringLiteral("0");
        f.panel->FormActivate();
        // The first tick at 100 settles to 165, the dialog's reopen settles to 275.
        f.clock.advance(300);
        QCOMPARE(f.host.portDialogs, 1);
        QCOMPARE(f.host.portErrors, QStringList{"No Communications Port Selected"});
        QCOMPARE(f.host.portErrorDetails, QStringList{QString()});
        QCOMPARE(f.device->opens, 0);
        // Only the first tick opens by itself.
        f.clock.advance(1000);
        QCOMPARE(f.host.portDialogs, 1);
    }

    // A Port.Ini that cannot be read (here a folder in its place) selects no port, and the
    // dialog says why instead of only that none is selected.
    void unreadablePortIniSaysWhy()
    {
        FrontPanelFixture f;
        QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Port.Ini")));
        f.port.LoadPortSettings();
        f.port.ComNo = QStringLiteral("0");
        f.panel->FormActivate();
        f.clock.advance(300);
        QCOMPARE(f.host.portErrors, QStringList{"No Communications Port Selected"});
        QCOMPARE(f.host.portErrorDetails.size(), 1);
        QVERIFY2(f.host.portErrorDetails[0].contains("Port.Ini: "),
                 qPrintable(f.host.portErrorDetails[0]));
    }

    // Frames faster than the tick re-enable the poll timer at every EOT; the tick must not
    // be pushed back, or nothing would ever be shown.
    void framesFasterThanTheTickStillShowEveryTick()
    {
        FrontPanelFixture f;
        f.connect();
        int shown = 0;
        QObject::connect(f.panel.get(), &LineSession::faceChanged, [&] { ++shown; });
        for (int i = 0; i < 25; ++i) {
            f.device->feed(FrontPanelFixture::frame(QByteArray::number(i)));
            f.clock.advance(40);
        }
        // One frame shown at every tick of the second, the newest each time.
        QCOMPARE(shown, 10);
        QCOMPARE(f.face().Weight.trimmed().toInt(), 24);
    }

    void framesFromPieces_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<PollState>("pollState");
        QTest::addColumn<QByteArray>("leftOver");

        const QByteArray a = FrontPanelFixture::frame("12.50", '_', "LB", "NT");
        const QByteArray b = FrontPanelFixture::frame("-3.5", ' ', "kg", "GR");
        QTest::newRow("three pieces") << QList<QByteArray>{a.left(5), a.mid(5, 7), a.mid(12)}
                                      << "  12.50" << PollState::Arm << QByteArray();
        QTest::newRow("two frames in one read")
            << QList<QByteArray>{a + b + "xyz"} << "   -3.5" << PollState::Arm << QByteArray();
        QTest::newRow("ten bytes and an EOT")
            << QList<QByteArray>{"0123456789\x04"} << "" << PollState::Waiting << QByteArray();
        QTest::newRow("600 bytes at once") << QList<QByteArray>{QByteArray(582, 'x') + a}
                                           << "  12.50" << PollState::Arm << QByteArray();
        QTest::newRow("a NUL cuts the read") << QList<QByteArray>{QByteArray("ab\0", 3) + a} << ""
                                             << PollState::Waiting << QByteArray("ab");
    }
    void framesFromPieces()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QString, weight);
        QFETCH(PollState, pollState);
        QFETCH(QByteArray, leftOver);
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100); // state 0 -> 2: waiting for a reply
        QCOMPARE(f.poll().state(), PollState::Waiting);
        for (const QByteArray& r : reads) {
            f.device->feed(r);
            f.clock.runPosted();
        }
        QCOMPARE(f.poll().rxText(), leftOver);
        f.clock.advance(30); // less than a tick: the reply timer is disarmed by the reads
        f.clock.advance(100);
        QCOMPARE(f.face().Weight, weight);
        QCOMPARE(f.poll().state(), pollState);
    }

    void aShownFrameLightsItsMarksAndTurnsTheSpinner()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("12.50", '_', "lb", "nt"));
        f.clock.advance(100);
        QCOMPARE(f.face().ConnectedLabel, QStringLiteral("Connected!  -"));
        QVERIFY(f.face().lbUnitsArrow && f.face().NetArrow);
        QVERIFY(!f.face().kgUnitsArrow && !f.face().gUnitsArrow && !f.face().ozUnitsArrow);
        QVERIFY(f.poll().keepWeight());
        QCOMPARE(f.poll().decimals(), 2);

        f.device->feed(FrontPanelFixture::frame("500", ' ', "G ", "GR"));
        f.clock.advance(100);
        QCOMPARE(f.face().ConnectedLabel, QStringLiteral("Connected!  \\"));
        QVERIFY(f.face().gUnitsArrow && !f.face().lbUnitsArrow && !f.face().NetArrow);
    }

    void decimalsFollowTheWeightText_data()
    {
        QTest::addColumn<QByteArray>("weight");
        QTest::addColumn<int>("decimals");
        QTest::newRow("one decimal") << QByteArray("  123.4") << 1;
        QTest::newRow("two decimals") << QByteArray("  12.50") << 2;
        QTest::newRow("blank after the point counts") << QByteArray(" 123.4 ") << 2;
        QTest::newRow("no point") << QByteArray("   1250") << 0;
        QTest::newRow("point last") << QByteArray("  1250.") << 0;
    }
    void decimalsFollowTheWeightText()
    {
        QFETCH(QByteArray, weight);
        QFETCH(int, decimals);
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        QByteArray fr = FrontPanelFixture::frame("");
        fr.replace(0, 7, weight);
        f.device->feed(fr);
        f.clock.advance(100);
        QCOMPARE(f.poll().decimals(), decimals);
    }

    void silentIndicatorInDemandModeIsAskedAgain()
    {
        FrontPanelFixture f(1);
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("7", ' '));
        f.clock.advance(100);
        QCOMPARE(f.face().Weight, QStringLiteral("      7"));
        f.device->takeWritten();
        // Each missed reply is reported by the reply timer and polled again with CR.
        for (int i = 0; i < 40 && !f.device->written.contains('?'); ++i)
            f.clock.advance(100);
        const QByteArray sent = f.device->takeWritten();
        QCOMPARE(sent.count('\r'), 6);
        QVERIFY(sent.endsWith('?'));
        QCOMPARE(f.face().Weight, QStringLiteral("------"));
        QCOMPARE(f.poll().missedReplies(), 0);
    }

    void continuousModeSendsNothingAndAStableWeightStays()
    {
        FrontPanelFixture f(0);
        f.connect();
        // The indicator talks by itself: the PC sends nothing at all, not even a CR.
        for (int i = 0; i < 20; ++i) {
            f.device->feed(FrontPanelFixture::frame("12.50", '_'));
            f.clock.advance(100);
        }
        QCOMPARE(f.face().Weight, QStringLiteral("  12.50"));
        QCOMPARE(f.device->takeWritten(), QByteArray());
        // It falls silent: a stable ("_") weight stays while the PC asks with "?" alone.
        f.clock.advance(2000);
        const QByteArray sent = f.device->takeWritten();
        QVERIFY(!sent.isEmpty());
        QCOMPARE(sent, QByteArray(sent.size(), '?'));
        QCOMPARE(f.face().Weight, QStringLiteral("  12.50"));
    }

    void bytesAreDroppedWhileATareIsTyped()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("12.50", ' '));
        f.clock.advance(100);
        f.panel->face().TareNumberClick(FaceModel::DigitCode + 3);
        f.device->feed(FrontPanelFixture::frame("99.99", ' '));
        f.clock.advance(3000);
        QCOMPARE(f.face().Weight, QStringLiteral("  12.50"));
        QCOMPARE(f.panel->link().ComPort().GetInBuffUsed(), 0);
        QVERIFY(f.device->written.isEmpty());
    }

    void unaskedReadyPutsTheCycleBackToArming()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        QCOMPARE(f.poll().state(), PollState::Waiting);
        f.device->feed("READY");
        f.clock.runPosted();
        QCOMPARE(f.poll().state(), PollState::Arm);
        // Outside the editor the transfer does not have the line: it hears nothing.
        QVERIFY(f.host.transferLines.isEmpty());
        QCOMPARE(f.panel->transfer().reply(), TransferReply::None);
    }

    void noiseWithoutAnEotIsNotKeptForever()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        for (int i = 0; i < 4; ++i) {
            f.device->feed(QByteArray(300, 'n'));
            f.clock.runPosted();
        }
        QVERIFY(f.poll().rxText().size() <= PollCycle::RxTextCapacity);
        f.device->feed(FrontPanelFixture::frame("5"));
        f.clock.advance(100);
        QCOMPARE(f.face().Weight, QStringLiteral("      5"));
    }

    // Whatever the line brings (noise, stray control bytes, torn frames), the face shows a
    // frame's weight or a blank, and the receive text stays bounded.
    void arbitraryBytesNeverUnsettleTheFace()
    {
        FrontPanelFixture f(1);
        f.connect();
        QRandomGenerator rng(7400);
        const QByteArray good = FrontPanelFixture::frame("12.50");
        for (int round = 0; round < 3000; ++round) {
            QByteArray chunk;
            const int kind = rng.bounded(4);
            if (kind == 0)
                chunk = good.mid(rng.bounded(good.size()));
            else
                for (int n = rng.bounded(1, 700); n > 0; --n)
                    chunk += char(kind == 1 ? rng.bounded(256)
                                            : "\x04\x06\x15\r\nreadyREADY_"[rng.bounded(16)]);
            f.device->feed(chunk);
            f.clock.advance(rng.bounded(0, 120));
            QVERIFY(f.poll().rxText().size() <= PollCycle::RxTextCapacity);
            const QString w = f.face().Weight;
            QVERIFY2(w.isEmpty() || w.size() == 7 || w == QLatin1String("------"), qPrintable(w));
            // Every EOT that arrived has been used: what waits is the start of a frame.
            QVERIFY(!f.poll().rxText().contains('\x04'));
        }
        f.device->feed(good);
        f.clock.advance(300);
        QCOMPARE(f.face().Weight, QStringLiteral("  12.50"));
    }

    void unpluggedAdapterBlanksTheFaceAndReopensLater()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("5"));
        f.clock.advance(100);
        f.device->unplug();
        f.clock.advance(2000);
        QVERIFY(!f.panel->connected());
        QCOMPARE(f.face().Weight, QStringLiteral("------"));
        QCOMPARE(f.face().ConnectedLabel, QStringLiteral("Not Connected."));
        QVERIFY(f.pollTimer().enabled());
        // Back in: the port settings dialog reopens it.
        f.panel->WeightDblClick();
        f.finishOpen();
        QVERIFY(f.panel->connected());
        f.clock.advance(200);
        f.device->feed(FrontPanelFixture::frame("6"));
        f.clock.advance(200);
        QCOMPARE(f.face().Weight, QStringLiteral("      6"));
    }

    void shutdownStopsPollingAndClosesThePortAfterFourSeconds()
    {
        FrontPanelFixture f(1);
        f.connect();
        f.clock.advance(250);
        f.panel->OnOffButtonClick();
        f.device->takeWritten();
        f.clock.advance(3900);
        QVERIFY(f.device->written.isEmpty());
        QVERIFY(f.panel->link().ComPort().IsOpen());
        QCOMPARE(f.host.terminated, 0);
        f.clock.advance(200);
        QCOMPARE(f.host.terminated, 1);
        QVERIFY(!f.panel->link().ComPort().IsOpen());
    }

    // The open from F2: it settles a tick, tries, waits 10 ticks after a refused attempt and
    // tries once more. Whatever happens on the way, it ends once, with one port at most.
    void theOpenEndsOnceWhateverHappensOnTheWay_data()
    {
        QTest::addColumn<int>("refusals");   // attempts the device refuses
        QTest::addColumn<QString>("event");  // what happens while the open waits
        QTest::addColumn<int>("eventAt");    // ms after F2
        QTest::addColumn<QList<int>>("attemptsAt");
        QTest::addColumn<int>("endsAt");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("failures");   // "Communications Port Failed" shown

        // Ticks end on multiples of 55 ms: the settle ends at 110, the first retry wait at
        // 715 and the second at 1320.
        QTest::newRow("opens at once") << 0 << "" << -1 << QList<int>{110} << 110 << true << 0;
        QTest::newRow("first attempt refused")
            << 1 << "" << -1 << QList<int>{110, 715} << 715 << true << 0;
        QTest::newRow("both attempts refused")
            << 2 << "" << -1 << QList<int>{110, 715} << 1320 << false << 1;
        QTest::newRow("close while settling")
            << 0 << "close" << 50 << QList<int>{} << 50 << false << 0;
        QTest::newRow("close in the retry wait")
            << 1 << "close" << 400 << QList<int>{110} << 400 << false << 0;
        QTest::newRow("shutdown while settling")
            << 0 << "shutdown" << 50 << QList<int>{} << 110 << false << 0;
        QTest::newRow("shutdown in the retry wait")
            << 1 << "shutdown" << 400 << QList<int>{110} << 715 << false << 0;
        QTest::newRow("second F2 while settling")
            << 0 << "F2" << 50 << QList<int>{110} << 110 << true << 0;
        QTest::newRow("second F2 in the retry wait")
            << 1 << "F2" << 400 << QList<int>{110, 495} << 495 << true << 0;
        QTest::newRow("update takes the line in the retry wait")
            << 1 << "update" << 400 << QList<int>{110} << 400 << false << 0;
        QTest::newRow("F4 while settling is refused")
            << 0 << "F4" << 50 << QList<int>{110} << 110 << true << 0;
        QTest::newRow("F3 in the retry wait is refused")
            << 1 << "F3" << 400 << QList<int>{110, 715} << 715 << true << 0;
    }

    void theOpenEndsOnceWhateverHappensOnTheWay()
    {
        QFETCH(int, refusals);
        QFETCH(QString, event);
        QFETCH(int, eventAt);
        QFETCH(QList<int>, attemptsAt);
        QFETCH(int, endsAt);
        QFETCH(bool, connected);
        QFETCH(int, failures);

        FrontPanelFixture f;
        QSignalSpy ended(f.panel.get(), &LineSession::openFinished);
        if (refusals > 0)
            f.device->openError =
                ChannelError(ChannelError::Kind::InUse, "/dev/ttyS0", "device busy");
        f.panel->WeightDblClick();
        QVERIFY(f.panel->opening());
        QCOMPARE(f.device->opens, 0);

        QList<int> seenAttempts;
        int endedAt = -1;
        for (int t = 0; t <= 3000; ++t) {
            const int opensBefore = f.device->opens;
            if (t > 0)
                f.clock.advance(1);
            if (f.device->opens > opensBefore)
                seenAttempts << t;
            if (f.device->opens >= refusals)
                f.device->openError.reset();
            if (t == eventAt) {
                if (event == "close")
                    f.panel->FormClose();
                else if (event == "shutdown")
                    f.panel->FormCloseQuery();
                else if (event == "F2")
                    f.panel->WeightDblClick();
                else if (event == "update")
                    f.panel->updateHost().takeLineForUpdate();
                else if (event == "F4")
                    f.panel->F4OptionsButtonClick();
                else if (event == "F3")
                    f.panel->F3UpdateButtonClick();
            }
            if (endedAt < 0 && !f.panel->opening())
                endedAt = t;
        }
        QCOMPARE(seenAttempts, attemptsAt);
        QCOMPARE(endedAt, endsAt);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toBool(), connected);
        QCOMPARE(f.panel->connected(), connected);
        QCOMPARE(f.device->isOpen(), connected);
        QCOMPARE(f.host.portErrors.count(QStringLiteral("Communications Port Failed")), failures);
        QCOMPARE(f.host.editors, 0);
        QCOMPARE(f.host.firmwareUpdates, 0);
        QCOMPARE(f.host.beeps, event == "F4" || event == "F3" ? 1 : 0);
        QCOMPARE(f.host.portDialogs, event == "F2" ? 2 : 1);
        // Polling is paused only while the dialog's reopen runs.
        QCOMPARE(f.pollTimer().interval(), 100);
    }

    void closingTwiceClosesAtOnce()
    {
        FrontPanelFixture f;
        QVERIFY(!f.panel->FormCloseQuery());
        QVERIFY(f.face().ShuttingDownPanel);
        QVERIFY(f.panel->FormCloseQuery());
    }
};

QTEST_GUILESS_MAIN(PollCycleTest)
#include "tst_pollcycle.moc"
