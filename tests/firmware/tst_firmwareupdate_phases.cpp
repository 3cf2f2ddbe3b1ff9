#include "FirmwareUpdateFixture.h"

#include <QTest>

using namespace kx;
using namespace kx::test;

namespace {

bool ended(UpdatePhase p)
{
    return p == UpdatePhase::Done || p == UpdatePhase::Failed || p == UpdatePhase::Idle;
}

} // namespace

// The update's run as a table: every point it can be at against every event, and every fault
// of the line, each with the one end it must come to.
class FirmwareUpdatePhasesTest : public QObject, FirmwareUpdateFixture
{
    Q_OBJECT

    // Runs silently for ms after an event: when the update ended and what was sent after.
    struct Afterwards
    {
        qint64 endedAfter = -1;
        QByteArray sentAfterEnd;
    };
    Afterwards silence(qint64 ms)
    {
        Afterwards a;
        for (qint64 t = 0; t <= ms; ++t) {
            if (a.endedAfter < 0 && ended(update->phase()))
                a.endedAfter = t;
            const QByteArray w = loaderDev->takeWritten();
            if (a.endedAfter >= 0)
                a.sentAfterEnd += w;
            clock.advance(1);
        }
        return a;
    }

private slots:
    void init() { startCase(); }
    void cleanup() { endCase(); }

    // Every point of a run against every event: each leads out, with one end, and nothing
    // goes to the loader once the run has ended.
    void everyStateHasAWayOut_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("event");
        const QStringList states{"enter due",   "enter sent", "enter accepted", "line sent",
                                 "resend due",  "line delay", "end sent",       "reloading",
                                 "done",        "failed"};
        const QStringList events{"tick",      "bytes",         "ACK",          "NAK",
                                 "time-out",  "Close",         "close request", "send refused",
                                 "unplug",    "F3, cancelled"};
        for (const QString& st : states)
            for (const QString& ev : events)
                QTest::addRow("%s, %s", qPrintable(st), qPrintable(ev)) << st << ev;
    }
    void everyStateHasAWayOut()
    {
        QFETCH(QString, state);
        QFETCH(QString, event);
        reach(state);
        const bool endedBefore = !view->ends.isEmpty();
        if (event == QLatin1String("tick"))
            clock.advance(1);
        else if (event == QLatin1String("bytes"))
            feed("xy");
        else if (event == QLatin1String("ACK"))
            feed(Ack);
        else if (event == QLatin1String("NAK"))
            feed(Nak);
        else if (event == QLatin1String("time-out"))
            clock.advance(1200);
        else if (event == QLatin1String("Close"))
            update->CloseUpdateClick();
        else if (event == QLatin1String("close request")) {
            host->closing = true;
            update->closeRequested();
        } else if (event == QLatin1String("send refused"))
            loaderDev->failWrites = true;
        else if (event == QLatin1String("unplug")) {
            loaderDev->unplug();
            clock.runPosted();
        } else if (event == QLatin1String("F3, cancelled")) {
            view->answer.clear();
            update->F3UpdateButtonClick();
        }
        // The longest way out: five unanswered messages of 1.2 s each, or six refused sends,
        // then the 5.5 s reload wait.
        const Afterwards a = silence(20000);
        QVERIFY2(a.endedAfter >= 0, qPrintable(QStringLiteral("still %1 after 20 s")
                                                   .arg(int(update->phase()))));
        QCOMPARE(view->ends.size(), 1);
        QCOMPARE(a.sentAfterEnd, QByteArray());
        QVERIFY(!update->loader().transferRunning());
        QVERIFY(!update->loader().stepScheduled());
        QVERIFY(!update->reloadWaiting());
        // An event after the end changes nothing of it.
        if (endedBefore)
            QCOMPARE(view->ends.size(), 1);
        if (event == QLatin1String("close request")) {
            QVERIFY(!update->panel().visible);
            QVERIFY(!update->loader().logListVisible());
            QVERIFY(!update->ScalePort().IsOpen());
            QVERIFY(!host->events.contains(QStringLiteral("give back")));
        }
    }

    // The firmware update's column of the fault table: each ends within its time-out with its
    // outcome and words, and nothing is sent after the end.
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<int>("withinMs"); // from F3

        const QString failed = QStringLiteral("Transfer Failed!");
        // Once a line has gone out, an end that is not the loader's ACK may have left part of
        // a new firmware behind.
        const QString partial = QStringLiteral(" The KX7400 may hold a partial firmware: run the "
                                               "update again before using it.");
        // 200 ms first step, then five sends 1155 to 1210 ms apart (20 ticks and the resend).
        QTest::newRow("silence from the start")
            << "silence" << Outcome::NoAnswer << failed
            << "No answer from the loader to the enter message." << 200 + 5 * 1210;
        QTest::newRow("silence mid-run")
            << "silent after line 2" << Outcome::NoAnswer << failed
            << "No answer from the loader to line 3 of 4." + partial << 2200 + 3 * 60 + 5 * 1210;
        QTest::newRow("NAK storm") << "NAK every line" << Outcome::Refused << failed
                                   << "The loader refused line 1 of 4 five times." + partial
                                   << 2200 + 5 * 100 + 100;
        QTest::newRow("NAK to the enter message")
            << "NAK" << Outcome::Refused << failed << "The loader refused the enter message."
            << 201;
        QTest::newRow("noise, never a verdict")
            << "noise" << Outcome::NoAnswer << failed
            << "No answer from the loader to the enter message." << 200 + 5 * 1210;
        QTest::newRow("send refused")
            << "send refused" << Outcome::LineFailed << failed
            << "The loader port failed while sending the enter message: the port refused the "
               "message."
            << 200 * 6 + 1;
        QTest::newRow("unplug mid-run")
            << "unplug after line 2" << Outcome::LineFailed << failed
            << "The loader port failed while sending line 3 of 4: unplugged." + partial << 2200 + 3 * 60;
        QTest::newRow("Close mid-run") << "Close after line 2" << Outcome::Cancelled << QString()
                                       << "Stopped while sending line 3 of 4." + partial << 2200 + 3 * 60;
        QTest::newRow("close request mid-run")
            << "close request after line 2" << Outcome::Cancelled << QString()
            << "Stopped while sending line 3 of 4." + partial << 2200 + 3 * 60;
        QTest::newRow("late ACK after a failure")
            << "late ACK after NAK" << Outcome::Refused << failed
            << "The loader refused the enter message." << 201;
        QTest::newRow("late ACK after the end")
            << "late ACK after the end" << Outcome::Completed << "Transfer Complete!!" << QString()
            << 2200 + 4 * 60 + 5600;
    }
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(Outcome, outcome);
        QFETCH(QString, label);
        QFETCH(QString, detail);
        QFETCH(int, withinMs);
        startUpdate(3);
        int acked = 0;
        bool stopped = false;
        const Reply loader = [&](const QByteArray& m) -> QByteArray {
            if (fault == QLatin1String("silence"))
                return {};
            if (fault == QLatin1String("NAK") || fault == QLatin1String("late ACK after NAK"))
                return Nak;
            if (fault == QLatin1String("noise"))
                return "\x01zz";
            if (fault == QLatin1String("NAK every line") && m != EnterMessage)
                return Nak;
            if (fault.endsWith(QLatin1String("after line 2")) && acked == 3) {
                if (fault.startsWith(QLatin1String("unplug")))
                    loaderDev->unplug();
                else if (fault.startsWith(QLatin1String("Close")))
                    update->CloseUpdateClick();
                else if (fault.startsWith(QLatin1String("close request")))
                    update->closeRequested();
                stopped = true;
                return {};
            }
            ++acked;
            return Ack;
        };
        if (fault == QLatin1String("send refused"))
            loaderDev->failWrites = true;
        const QByteArray sent = drive(withinMs, loader, [&] {
            return !view->ends.isEmpty() && ended(update->phase()) && !update->reloadWaiting();
        });
        Q_UNUSED(stopped);
        QCOMPARE(view->ends.size(), 1);
        QCOMPARE(view->ends[0].outcome, outcome);
        QCOMPARE(updateDetail(view->ends[0]), detail);
        if (!label.isEmpty()) {
            QCOMPARE(update->panel().label, label);
            QCOMPARE(update->panel().detail, detail);
        } else {
            QVERIFY(!update->panel().visible);
        }
        if (fault.startsWith(QLatin1String("late ACK")))
            feed(Ack);
        QCOMPARE(drive(20000, loader), QByteArray());
        QCOMPARE(view->ends.size(), 1);
        Q_UNUSED(sent);
    }
};

QTEST_GUILESS_MAIN(FirmwareUpdatePhasesTest)
#include "tst_firmwareupdate_phases.moc"
