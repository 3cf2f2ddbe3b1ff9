#include "FakeSerialDevice.h"
#include "firmware/FirmwareUpdate.h"
#include "link/SteppedClock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace kx;
using namespace kx::test;

namespace {

// The front panel as the update sees it, recording the hand-over.
struct FakeHost : UpdateHost
{
    explicit FakeHost(Clock& clock) : main(clock, std::make_unique<FakeSerialDevice>()) {}
    void takeLineForUpdate() override { events << QStringLiteral("take"); }
    const SerialChannel& mainPort() const override { return main; }
    QString deviceFor(int port) const override { return QStringLiteral("/dev/fake%1").arg(port); }
    void disableFace() override { events << QStringLiteral("disable"); }
    void giveLineBack() override { events << QStringLiteral("give back"); }
    void showUpdatePanel(bool shown, bool closeShown) override
    {
        panelShown = shown;
        closeShownOnFace = closeShown;
    }
    bool shuttingDown() const override { return closing; }

    SerialChannel main;
    bool closing = false;
    QStringList events;
    bool panelShown = false;
    bool closeShownOnFace = false;
};

struct FakeView : FirmwareUpdateView
{
    QString askUpdateFile(const QString& startFolder) override
    {
        askedIn = startFolder;
        return answer;
    }
    void refuseUpdateFile(const QString& text) override { refusals << text; }
    void updatePanelChanged(bool now) override
    {
        if (update && update->panel().visible) {
            looks << update->panel().look;
            details << update->panel().detail;
        }
        paintedNow += now ? 1 : 0;
    }
    void setBusyCursor(bool b) override { busy = b; }
    void updateEnded(const UpdateEnd& end) override { ends << end; }

    const FirmwareUpdate* update = nullptr;
    QList<UpdateEnd> ends;
    QString answer;
    QString askedIn;
    QStringList refusals;
    QList<LabelLook> looks;
    QStringList details;
    int paintedNow = 0;
    bool busy = false;
};

QByteArray hexFile(int dataLines)
{
    QByteArray out;
    for (int i = 0; i < dataLines; ++i)
        out += ":01000000AB54\r\n";
    return out + ":00000001FF\r\n";
}

const QByteArray Ack(1, '\x06');
const QByteArray Nak(1, '\x15');
const QByteArray EnterMessage("\x02"
                              "BSL\x03\xDC");
const QByteArray EndMessage("\x04\x84");

// What the loader answers to a message; empty: nothing.
using Reply = std::function<QByteArray(const QByteArray& message)>;

bool ended(UpdatePhase p)
{
    return p == UpdatePhase::Done || p == UpdatePhase::Failed || p == UpdatePhase::Idle;
}

} // namespace

// The update window's behaviour without the window: hand-over, file check, panel states.
class FirmwareUpdateTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    SteppedClock clock;
    FakeSerialDevice* loaderDev = nullptr;
    std::unique_ptr<FakeHost> host;
    std::unique_ptr<FakeView> view;
    std::unique_ptr<FirmwareUpdate> update;

    QString write(const char* name, const QByteArray& content)
    {
        QFile f(dir.filePath(QLatin1String(name)));
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(content);
        return f.fileName();
    }
    void make()
    {
        loaderDev = new FakeSerialDevice;
        host = std::make_unique<FakeHost>(clock);
        host->main.SetBaud(9600);
        host->main.SetParity(Parity::Even);
        host->main.SetDatabits(7);
        host->main.SetComNumber(3);
        view = std::make_unique<FakeView>();
        update = std::make_unique<FirmwareUpdate>(clock, std::unique_ptr<SerialDevice>(loaderDev),
                                                  *host, *view, dir.path());
        view->update = update.get();
    }
    // The loader answers every message with ACK until the transfer ends or limit passes.
    int runAcking(qint64 limitMs = 60000)
    {
        int messages = 0;
        for (qint64 t = 0; t < limitMs; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                ++messages;
                loaderDev->feed(QByteArray(1, '\x06'));
                clock.runPosted();
            }
            if (update->panel().closeVisible)
                break;
        }
        return messages;
    }

    // Runs the clock in 1 ms steps for up to ms, answering each message the loader port sends
    // with reply(message); stops early once until() holds. Returns what was sent.
    QByteArray drive(qint64 ms, const Reply& reply = {}, const std::function<bool()>& until = {})
    {
        QByteArray all;
        for (qint64 t = 0; t < ms && !(until && until()); ++t) {
            clock.advance(1);
            const QByteArray w = loaderDev->takeWritten();
            if (w.isEmpty())
                continue;
            all += w;
            const QByteArray r = reply ? reply(w) : QByteArray();
            if (!r.isEmpty()) {
                loaderDev->feed(r);
                clock.runPosted();
            }
        }
        return all;
    }
    void feed(const QByteArray& bytes)
    {
        loaderDev->feed(bytes);
        clock.runPosted();
    }
    // F3 with an image of dataLines and the end record; lines go 50 ms apart.
    void startUpdate(int dataLines)
    {
        write("bsl.Ini", "[BSL]\r\nLineDelay=50\r\n");
        make();
        view->answer = write("image.hex", hexFile(dataLines));
        update->F3UpdateButtonClick();
    }
    // Brings a fresh update of three data lines to a named point of its run.
    void reach(const QString& state)
    {
        startUpdate(3);
        const Reply ack = [](const QByteArray&) { return Ack; };
        const Reply ackAllButEnd = [](const QByteArray& m) {
            return m == EndMessage ? QByteArray() : Ack;
        };
        if (state == QLatin1String("enter due"))
            return;
        drive(200);
        if (state == QLatin1String("enter sent"))
            return;
        if (state == QLatin1String("failed")) {
            feed(Nak);
            return;
        }
        feed(Ack);
        if (state == QLatin1String("enter accepted"))
            return;
        drive(2000);
        if (state == QLatin1String("line sent"))
            return;
        if (state == QLatin1String("resend due")) {
            feed(Nak);
            return;
        }
        feed(Ack);
        if (state == QLatin1String("line delay"))
            return;
        if (state == QLatin1String("end sent")) {
            drive(5000, ackAllButEnd,
                  [&] { return update->loader().awaitedReply() == AwaitedReply::End; });
            return;
        }
        drive(5000, ack, [&] { return update->phase() == UpdatePhase::Reloading; });
        if (state == QLatin1String("reloading"))
            return;
        drive(6000);
    }
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
    void init()
    {
        QVERIFY(dir.isValid());
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(f));
    }
    void cleanup()
    {
        update.reset();
        view.reset();
        host.reset();
    }

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
        // 200 ms first step, then five sends 1155 to 1210 ms apart (20 ticks and the resend).
        QTest::newRow("silence from the start")
            << "silence" << Outcome::NoAnswer << failed
            << "No answer from the loader to the enter message." << 200 + 5 * 1210;
        QTest::newRow("silence mid-run")
            << "silent after line 2" << Outcome::NoAnswer << failed
            << "No answer from the loader to line 3 of 4." << 2200 + 3 * 60 + 5 * 1210;
        QTest::newRow("NAK storm") << "NAK every line" << Outcome::Refused << failed
                                   << "The loader refused line 1 of 4 five times."
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
            << "The loader port failed while sending line 3 of 4: unplugged." << 2200 + 3 * 60;
        QTest::newRow("Close mid-run") << "Close after line 2" << Outcome::Cancelled << QString()
                                       << "Stopped while sending line 3 of 4." << 2200 + 3 * 60;
        QTest::newRow("close request mid-run")
            << "close request after line 2" << Outcome::Cancelled << QString()
            << "Stopped while sending line 3 of 4." << 2200 + 3 * 60;
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
