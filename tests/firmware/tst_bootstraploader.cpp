#include "LoaderFixture.h"

#include <QFile>
#include <QTest>

using namespace kx;
using namespace kx::test;

namespace {

const QByteArray Ack(1, '\x06');
const QByteArray Nak(1, '\x15');

// Replies by message index; the last token stands for every later message.
// A ACK, N NAK, - silence, n noise then ACK in a later read, O more than the reply may hold.
LoaderFixture::Responder script(const QString& tokens)
{
    const QStringList list = tokens.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return [list](int index, const QByteArray&) -> QByteArray {
        const QString t = list.value(index, list.back());
        if (t == QLatin1String("A"))
            return Ack;
        if (t == QLatin1String("N"))
            return Nak;
        if (t == QLatin1String("n"))
            return "xy|" + Ack;
        if (t == QLatin1String("O"))
            return QByteArray(1100, 'x');
        return {};
    };
}

} // namespace

// The bootstrap-loader transfer against a scripted loader, time stepped by hand.
class BootstrapLoaderTest : public QObject
{
    Q_OBJECT

private slots:
    void scenarios_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("replies");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("progress");

        QTest::newRow("clean run") << 3 << "A"
                                   << "E L0 L1 L2 X"
                                   << "0 1 2 3 completed";
        QTest::newRow("NAK on enter fails at once") << 3 << "N"
                                                    << "E"
                                                    << "0 refused";
        QTest::newRow("NAK on a line resends it") << 2 << "A A N A"
                                                  << "E L0 L1 L1 X"
                                                  << "0 1 2 completed";
        QTest::newRow("five NAKs on a line fail") << 2 << "A A N"
                                                  << "E L0 L1 L1 L1 L1 L1"
                                                  << "0 1 refused";
        QTest::newRow("no reply to enter: five sends") << 2 << "-"
                                                       << "E E E E E"
                                                       << "0 no answer";
        QTest::newRow("four time-outs, then ACK") << 1 << "- - - - A"
                                                  << "E E E E E L0 X"
                                                  << "0 1 completed";
        QTest::newRow("time-outs and NAKs count together") << 1 << "A N - N - N"
                                                           << "E L0 L0 L0 L0 L0"
                                                           << "0 refused";
        QTest::newRow("noise before the ACK") << 2 << "n"
                                              << "E L0 L1 X"
                                              << "0 1 2 completed";
        QTest::newRow("reply overflow waits for the time-out") << 1 << "O A"
                                                               << "E E L0 X"
                                                               << "0 1 completed";
        QTest::newRow("NAK on end resends it") << 1 << "A A N A"
                                               << "E L0 X X"
                                               << "0 1 completed";
    }
    void scenarios()
    {
        QFETCH(int, lines);
        QFETCH(QString, replies);
        QFETCH(QString, sent);
        QFETCH(QString, progress);
        LoaderFixture f;
        f.run(lines, script(replies));
        QCOMPARE(f.kinds(), sent);
        QCOMPARE(f.story(), progress);
        QCOMPARE(f.loader.sendStep(), SendStep::Idle);
        QVERIFY(!f.loader.transferRunning());
        QVERIFY(!f.loader.stepScheduled());
    }

    // A loader slower than the reply time-out: every reply answers the oldest copy still
    // without one, a message counts as taken only on an ACK for one of its copies, and the
    // next goes only once every copy has its answer.
    void slowLoader_data()
    {
        QTest::addColumn<QString>("replies");
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("outcome");

        QTest::newRow("late ACK") << "A" << 1500 << "completed";
        QTest::newRow("late, every third NAKed") << "A A N A A N A A N A A N A A N A A N A A" << 1500 << "completed";
        QTest::newRow("late NAK, then ACK for the resend") << "A A N A" << 1500 << "completed";
        QTest::newRow("late ACK, then NAK for the resend") << "A A A N A" << 1500 << "completed";
        QTest::newRow("late NAKs for every copy of a line") << "A A N N N N N N N N N N"
                                                            << 1500 << "refused";
        QTest::newRow("reply just after the resend") << "A" << 1250 << "completed";
        QTest::newRow("reply just before the resend") << "A" << 1150 << "completed";
        QTest::newRow("at once") << "A N A" << 0 << "completed";
    }
    void slowLoader()
    {
        QFETCH(QString, replies);
        QFETCH(int, delay);
        QFETCH(QString, outcome);
        LoaderFixture f;
        f.replyDelay = [delay](int) { return qint64(delay); };
        const auto respond = script(replies);
        QList<QByteArray> answers;
        f.run(3, [&](int index, const QByteArray& m) {
            answers.append(respond(index, m));
            return answers.back();
        });
        QCOMPARE(f.rec.ends.size(), 1);
        QCOMPARE(QString::fromLatin1(outcomeName(f.rec.ends[0].outcome)), outcome);

        // The messages as the loader took them: each distinct message once, in order, and
        // every one with an ACK among its copies' answers.
        QStringList taken;
        QString previous;
        bool previousTaken = true;
        const QStringList kinds = f.kinds().split(QLatin1Char(' '));
        for (int i = 0; i < kinds.size(); ++i) {
            if (kinds[i] != previous) {
                QVERIFY2(previousTaken, qPrintable(QStringLiteral("%1 went out before %2 was taken")
                                                        .arg(kinds[i], previous)));
                // Every copy of the message before has had its answer by now.
                for (int j = 0; j < i; ++j)
                    if (!answers[j].isEmpty())
                        QVERIFY2(f.sent[j].at + delay <= f.sent[i].at,
                                 qPrintable(QStringLiteral("%1 went out before the answer to "
                                                           "message %2").arg(kinds[i]).arg(j)));
                previous = kinds[i];
                previousTaken = false;
                taken << kinds[i];
            }
            if (answers[i] == "\x06" || answers[i].endsWith('\x06'))
                previousTaken = true;
        }
        if (outcome == QLatin1String("completed")) {
            QCOMPARE(taken.join(QLatin1Char(' ')), QStringLiteral("E L0 L1 L2 X"));
            QVERIFY(previousTaken);
            QCOMPARE(f.rec.progress.back(), 3);
        } else {
            QVERIFY(!taken.contains(QStringLiteral("X")));
        }
    }

    // On a busy machine the answer and the resend's turn come in one pass of the event loop:
    // the port has read the answer, and its notification still waits when the copy goes. The
    // answer is the first copy's; a loader that answers no copy after it must not cost the
    // message.
    void anAnswerReadAsTheCopyGoesIsStillCounted_data()
    {
        QTest::addColumn<int>("lines");
        QTest::newRow("a line") << 1;
        QTest::newRow("the end message") << 0;
    }
    void anAnswerReadAsTheCopyGoesIsStillCounted()
    {
        QFETCH(int, lines);
        LoaderFixture f;
        f.loader.StartTransfer(LoaderFixture::image(lines));
        const auto next = [&f] {
            for (int i = 0; i < 20000 && f.dev->written.isEmpty(); ++i)
                f.clock.advance(1);
            return f.dev->takeWritten();
        };
        QCOMPARE(next(), QByteArray("\x02" "BSL\x03\xDC"));
        f.deliver(Ack);
        const QByteArray message = next();
        QVERIFY(!message.isEmpty());
        for (int i = 0; i < 5000 && f.loader.sendStep() != SendStep::Resend; ++i)
            f.clock.advance(1);
        QCOMPARE(f.loader.sendStep(), SendStep::Resend);
        f.dev->feed(Ack);
        f.loader.StateTimerTimer();
        QCOMPARE(f.dev->takeWritten(), message);
        f.clock.runPosted();
        // Silent from here on but for the end message's answer, when that was not the one.
        if (lines > 0) {
            QCOMPARE(next(), QByteArray("\x04\x84"));
            f.deliver(Ack);
        }
        for (int i = 0; i < 20000 && f.rec.ends.isEmpty(); ++i)
            f.clock.advance(1);
        QCOMPARE(f.story(), lines > 0 ? QStringLiteral("0 1 completed")
                                      : QStringLiteral("0 completed"));
    }

    void aReplyAfterTheEndIsIgnored()
    {
        LoaderFixture f;
        f.loader.setLogging(true);
        // The end message's ACK comes twice: the second answers nothing.
        f.run(1, [](int index, const QByteArray&) -> QByteArray {
            return index == 2 ? Ack + "|" + Ack : Ack;
        });
        QCOMPARE(f.story(), QStringLiteral("0 1 completed"));
        QCOMPARE(f.kinds(), QStringLiteral("E L0 X"));
        f.clock.advance(5000);
        QVERIFY(f.dev->takeWritten().isEmpty());
        QCOMPARE(f.rec.ends.size(), 1);
    }

    void anUnaskedReplyDoesNotTakeTheNextLine()
    {
        LoaderFixture f;
        f.loader.setLogging(true);
        // A stray ACK arrives with the ACK for the enter message: it must not answer L0.
        f.run(2, [](int index, const QByteArray&) -> QByteArray {
            if (index == 0)
                return Ack + "|" + Ack;
            return index == 1 ? Nak : Ack;
        });
        QCOMPARE(f.kinds(), QStringLiteral("E L0 L0 L1 X"));
        QCOMPARE(f.story(), QStringLiteral("0 1 2 completed"));
        QVERIFY(f.loader.log().contains("<< ACK (unasked, ignored)"));
    }

    void resendIsTheIdenticalMessageAHundredMillisecondsLater()
    {
        LoaderFixture f;
        f.run(2, script("A A N A"));
        QCOMPARE(f.sent[3].bytes, f.sent[2].bytes);
        QCOMPARE(f.sent[3].at - f.sent[2].at, 100);
    }

    void timings()
    {
        LoaderFixture f;
        f.loader.setLineDelay(37);
        f.run(2, script("A"));
        QCOMPARE(f.sent[0].at, 200);                 // the first step
        QCOMPARE(f.sent[1].at - f.sent[0].at, 2000); // the loader's pause after enter
        QCOMPARE(f.sent[2].at - f.sent[1].at, 37);   // the line delay
        QCOMPARE(f.sent[3].at - f.sent[2].at, 37);   // also before the end message
    }

    void aTimeOutIsTwentyTicks()
    {
        LoaderFixture f;
        f.run(1, script("- A"));
        const qint64 gap = f.sent[1].at - f.sent[0].at - 100;
        QVERIFY2(gap >= 20 * 55 && gap <= 21 * 55, qPrintable(QString::number(gap)));
    }

    void failedSendsAreRetriedFiveTimes_data()
    {
        QTest::addColumn<int>("failingAttempts");
        QTest::addColumn<QString>("progress");
        QTest::newRow("five failures, then sent") << 5 << "0 1 completed";
        QTest::newRow("six failures fail") << 6 << "0 line failed";
    }
    void failedSendsAreRetriedFiveTimes()
    {
        QFETCH(int, failingAttempts);
        QFETCH(QString, progress);
        LoaderFixture f;
        f.dev->failWrites = true;
        // Attempts come every 200 ms from 200 ms on.
        f.beforeStep = [&](qint64 now) {
            if (now == 200 * failingAttempts + 100)
                f.dev->failWrites = false;
        };
        f.run(1, script("A"));
        QCOMPARE(f.story(), progress);
        if (failingAttempts == 5) {
            QCOMPARE(f.sent[0].at, 1200);
            QCOMPARE(f.kinds(), QStringLiteral("E L0 X"));
        } else {
            QVERIFY(f.sent.isEmpty());
        }
    }

    void logging_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("panelShown");
        QTest::addColumn<int>("lines");
        QTest::newRow("on") << true << true << 16;
        QTest::newRow("off") << false << true << 0;
        QTest::newRow("panel hidden") << true << false << 0;
    }
    void logging()
    {
        QFETCH(bool, on);
        QFETCH(bool, panelShown);
        QFETCH(int, lines);
        LoaderFixture f;
        f.loader.setLogging(on);
        f.rec.panelShown = panelShown;
        f.run(1, script("n - A N A A"));
        QCOMPARE(f.loader.log().size(), qsizetype(lines));
        if (lines == 0)
            return;
        const QList<QByteArray> expected{
            ">> <STX>BSL<ETX><DC>  <DC>",
            "<< ??? - <78><79>",
            "<< ACK",
            ">> L0<CR><LF><FB>  <FB>",
            "<< !TIMEOUT!",
            ">> L0<CR><LF><FB>  <FB>",
            // The ACK answers the first copy, whose answer was only late: the second copy's
            // answer is waited for before the next message, and written off after the limit.
            "<< ACK",
            "<< !TIMEOUT!",
            "<< !TIMEOUT!",
            "<< !TIMEOUT!",
            "<< !TIMEOUT!",
            "<< 1 copies never answered",
        };
        QCOMPARE(f.loader.log().mid(0, 12), expected);
        const QList<QByteArray> end{">> <EOT><84>  <84>", "<< NAK", ">> <EOT><84>  <84>",
                                    "<< ACK"};
        QCOMPARE(f.loader.log().mid(12), end);
    }

    void theLogKeepsItsNewest1401Lines()
    {
        LoaderFixture f;
        f.loader.setLogging(true);
        QVERIFY(QFile(f.dir.filePath("view.log")).open(QIODevice::WriteOnly));
        f.run(800, script("A"));
        QCOMPARE(f.loader.log().size(), qsizetype(1401));
        QCOMPARE(f.loader.log().back(), QByteArray("<< ACK"));
        // 1604 lines were logged; the oldest 203 have gone.
        QCOMPARE(f.loader.log().front(), QByteArray("<< ACK"));
        QCOMPARE(f.loader.log()[1], QByteArray(">> L101<CR><LF><FB>  <FB>"));
        QVERIFY(f.loader.logListVisible());
    }

    void aReplyBeforeAnyMessageIsNotLogged()
    {
        LoaderFixture f;
        f.loader.setLogging(true);
        f.dev->feed(Nak);
        f.clock.runPosted();
        QVERIFY(f.loader.log().isEmpty());
        QVERIFY(!f.loader.logListVisible());
    }

    void aStopSeenBeforeTheNextLineSendsNothingMore()
    {
        LoaderFixture f;
        bool stop = false;
        f.loader.setStopCheck([&] { return stop; });
        // The first line's ACK arrives; the stop comes before the line delay has run.
        f.run(3, [&](int index, const QByteArray&) {
            if (index == 1)
                stop = true;
            return Ack;
        });
        QCOMPARE(f.kinds(), QStringLiteral("E L0"));
        QCOMPARE(f.story(), QStringLiteral("0 1 cancelled"));
        QVERIFY(f.rec.ends[0].linesSent);
    }

    void stopEndsTheTransferWithoutATimeOut()
    {
        LoaderFixture f;
        f.loader.StartTransfer(LoaderFixture::image(2));
        f.clock.advance(250);
        QCOMPARE(f.dev->takeWritten().size(), 6);
        f.loader.stop();
        f.clock.advance(5000);
        QVERIFY(f.dev->takeWritten().isEmpty());
        QCOMPARE(f.story(), QStringLiteral("0 cancelled"));
        QVERIFY(!f.loader.stepScheduled());
    }
};

QTEST_GUILESS_MAIN(BootstrapLoaderTest)
#include "tst_bootstraploader.moc"
