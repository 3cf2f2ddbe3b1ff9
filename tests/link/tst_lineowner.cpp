#include "FrontPanelFixture.h"
#include "link/DebugMonitor.h"
#include "transfer/TransferControl.h"

#include <QTest>

using namespace kx;
using kx::test::FrontPanelFixture;
using kx::test::RecordingHost;

namespace {

constexpr char ACK = 0x06;
constexpr char NAK = 0x15;

// The main port as an engine sees it, scripted.
struct FakeLine : MainLine
{
    bool open = true;
    bool refuseSends = false;
    QByteArray inbox;
    QByteArray sent;
    int discards = 0;
    QList<int> armedTicks; // 0 for a disarm

    bool isOpen() const override { return open; }
    bool send(const QByteArray& bytes) override
    {
        if (!open || refuseSends)
            return false;
        sent += bytes;
        return true;
    }
    QByteArray take(int count) override
    {
        const QByteArray out = inbox.left(count);
        inbox.remove(0, out.size());
        return out;
    }
    bool discardInput() override
    {
        ++discards;
        inbox.clear();
        return true;
    }
    void armReplyTimer(bool arm, int ticks) override { armedTicks << (arm ? ticks : 0); }
};

struct RecordingDebug : DebugMonitorListener
{
    QStringList lines;
    int stops = 0;
    void showDebugLine(const QString& line) override { lines << line; }
    void debugStopped() override { ++stops; }
};

enum class Event
{
    Ack,
    Nak,
    Ready,
    Timeout
};

} // namespace

// Who has the main port, and what each engine does with the notifications it is handed.
class LineOwnerTest : public QObject
{
    Q_OBJECT

private slots:
    void theEditorGivesTheLineToTheTransferAndTakesItBack()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("12.50"));
        f.clock.advance(100);
        QCOMPARE(f.face().Weight, QStringLiteral("  12.50"));
        f.device->takeWritten();

        LineOwner during = LineOwner::Polling;
        int waitingDuring = -1;
        f.host.onEditor = [&] {
            during = f.panel->lineOwner();
            // A frame meanwhile is neither shown nor taken: it waits in the port.
            f.device->feed(FrontPanelFixture::frame("99.99"));
            f.clock.advance(300);
            waitingDuring = f.panel->link().ComPort().GetInBuffUsed();
            // Replies go to the transfer's panel, not to the poll cycle.
            f.device->feed(QByteArray(1, NAK));
            f.clock.runPosted();
            f.device->feed("ready");
            f.clock.runPosted();
            f.device->feed(QByteArray(1, ACK));
            f.clock.runPosted();
        };
        f.panel->F4OptionsButtonClick();
        QCOMPARE(during, LineOwner::SettingsTransfer);
        QCOMPARE(waitingDuring, 18);
        QCOMPARE(f.face().Weight, QStringLiteral("  12.50"));
        QCOMPARE(f.host.transferLines,
                 (QStringList{"KX7400 Abandoned Operation!", "KX7400 Ready Response Received!"}));
        QCOMPARE(f.panel->transfer().reply(), TransferReply::Ready);
        QCOMPARE(f.device->takeWritten(), QByteArray());

        // Closed again: polling has the line and starts afresh.
        QCOMPARE(f.panel->lineOwner(), LineOwner::Polling);
        QCOMPARE(f.poll().state(), PollState::Start);
        QCOMPARE(f.panel->transfer().state(), TransferState::Idle);
        f.device->feed(FrontPanelFixture::frame("7.00"));
        f.clock.advance(300);
        QCOMPARE(f.face().Weight, QStringLiteral("   7.00"));
    }

    // A frame shown in CONTINUOUS mode counts as a refusal for the next transfer; in DEMAND
    // mode the transfer's last reply stays.
    void continuousFramesClearALeftOverReply_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<TransferReply>("after");
        QTest::newRow("continuous") << 0 << TransferReply::Refused;
        QTest::newRow("demand") << 1 << TransferReply::Ready;
    }
    void continuousFramesClearALeftOverReply()
    {
        QFETCH(int, mode);
        QFETCH(TransferReply, after);
        FrontPanelFixture f(mode);
        f.connect();
        f.host.onEditor = [&] {
            f.device->feed("READY");
            f.clock.runPosted();
        };
        f.panel->F4OptionsButtonClick();
        QCOMPARE(f.panel->transfer().reply(), TransferReply::Ready);
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("3.00"));
        f.clock.advance(100);
        QCOMPARE(f.face().Weight, QStringLiteral("   3.00"));
        QCOMPARE(f.panel->transfer().reply(), after);
    }

    void aTimeoutInTheEditorEndsTheTransferNotThePolling()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100); // the poll cycle armed the reply timer
        f.host.onEditor = [&] { f.clock.advance(300); };
        f.panel->F4OptionsButtonClick();
        QCOMPARE(f.host.transferLines, QStringList{"Timeout Occurred!"});
        QCOMPARE(f.poll().state(), PollState::Start);
    }

    void theDebugMonitorHasTheLineUntilItStops()
    {
        FrontPanelFixture f;
        f.connect();
        f.host.onEditor = [&] {
            f.panel->startDebugMonitor();
            QCOMPARE(f.panel->lineOwner(), LineOwner::DebugMonitor);
            f.device->takeWritten();
            f.clock.advance(100); // asks
            QCOMPARE(f.device->takeWritten(), QByteArray("\x05"));
            // Patterns mean nothing to it; the transfer hears none of them.
            f.device->feed(QByteArray(1, NAK) + "ready\r");
            f.clock.advance(200); // the stale first answer is dropped, and it asks again
            QCOMPARE(f.device->takeWritten(), QByteArray("\x05"));
            f.device->feed("  KX debug 42 \r\n");
            f.clock.advance(200);
            // Then the indicator falls silent: the reply timer ends the monitor.
            f.clock.advance(2000);
            QCOMPARE(f.panel->lineOwner(), LineOwner::SettingsTransfer);
            f.device->feed(QByteArray(1, NAK));
            f.clock.runPosted();
        };
        f.panel->F4OptionsButtonClick();
        QCOMPARE(f.host.debugLines, (QStringList{"", "KX debug 42", "<<No Response>>"}));
        QCOMPARE(f.host.debugRunning, (QList<bool>{true, false}));
        // Only the NAK after the monitor had let go reached the transfer.
        QCOMPARE(f.host.transferLines, QStringList{"KX7400 Abandoned Operation!"});
    }

    // The window closed while its first open is still under way: the open is given up and
    // no port settings dialog opens over a window being destroyed.
    void closingDuringTheFirstOpenAsksNothing()
    {
        FrontPanelFixture f;
        f.panel->PollTimerTimer();
        QVERIFY(f.panel->opening());
        f.panel->FormClose();
        QVERIFY(!f.panel->opening());
        QCOMPARE(f.host.portDialogs, 0);
        f.clock.advance(5000);
        QCOMPARE(f.host.portDialogs, 0);
    }

    void closingTheEditorStopsTheDebugMonitor()
    {
        FrontPanelFixture f;
        f.connect();
        f.host.onEditor = [&] {
            f.panel->startDebugMonitor();
            f.clock.advance(300);
        };
        f.panel->F4OptionsButtonClick();
        QVERIFY(!f.panel->debugMonitor().running());
        QCOMPARE(f.panel->lineOwner(), LineOwner::Polling);
        f.device->takeWritten();
        f.clock.advance(1000);
        QVERIFY(!f.device->takeWritten().contains('\x05'));
    }

    void theDebugMonitorStartsOnlyInsideTheEditor()
    {
        FrontPanelFixture f;
        f.connect();
        f.panel->startDebugMonitor();
        QCOMPARE(f.panel->lineOwner(), LineOwner::Polling);
        QVERIFY(!f.panel->debugMonitor().running());
    }

    // Upload pressed while the debug monitor runs: the monitor stops, and the handshake goes
    // out 10 ticks later, unless the run was called off meanwhile.
    void aTransferAfterTheDebugMonitorWaitsTenTicks_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("nothing") << QString();
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("editor closed") << "close";
        QTest::newRow("second upload") << "upload";
    }

    void aTransferAfterTheDebugMonitorWaitsTenTicks()
    {
        QFETCH(QString, meanwhile);
        FrontPanelFixture f;
        f.connect();
        f.host.onEditor = [&] {
            f.panel->startDebugMonitor();
            f.clock.advance(330);
            // The editor's Upload: the monitor stops before the editor asks anything.
            f.panel->stopDebugForTransfer();
            QCOMPARE(f.panel->lineOwner(), LineOwner::SettingsTransfer);
            const qint64 stoppedAt = f.clock.nowMs();
            const qint64 settled =
                SerialChannel::tickDeadline(stoppedAt, LineSession::DebugSettleTicks);
            QCOMPARE(settled - stoppedAt, 605); // 10 ticks after the tick under way
            f.device->takeWritten();
            f.clock.advance(100); // the user answers the editor's question
            f.panel->startTransfer(TransferDirection::Upload);
            if (meanwhile == "cancel")
                f.panel->cancelTransfer();
            else if (meanwhile == "close")
                return;
            else if (meanwhile == "upload")
                f.panel->startTransfer(TransferDirection::Upload);
            f.clock.advance(settled - f.clock.nowMs() - 1);
            QVERIFY(!f.device->written.contains("pcmode"));
            f.clock.advance(1);
            QCOMPARE(f.device->written.count("pcmode"), meanwhile == "cancel" ? 0 : 1);
            QCOMPARE(f.host.transferRunning, meanwhile != "cancel");
        };
        f.panel->F4OptionsButtonClick();
        if (meanwhile != "nothing" && !meanwhile.isEmpty()) {
            f.device->takeWritten();
            f.clock.advance(2000);
            QVERIFY(!f.device->takeWritten().contains("pcmode"));
        }
    }

    void aKeyWhoseSendFailsStaysPendingForTheNextFrame()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("1.00"));
        f.clock.advance(100);
        f.panel->face().CommandClick(FaceModel::ZeroTag);
        f.device->failWrites = true;
        f.device->feed(FrontPanelFixture::frame("1.00"));
        f.clock.advance(100);
        QCOMPARE(f.face().Weight, QStringLiteral("ERROR"));
        QCOMPARE(f.panel->face().pendingKey(), 'Z');
        QVERIFY(!f.face().CommandSentVisible);

        f.device->failWrites = false;
        f.device->feed(FrontPanelFixture::frame("1.00"));
        f.clock.advance(100);
        QCOMPARE(f.device->takeWritten(), QByteArray("Z"));
        QCOMPARE(f.panel->face().pendingKey(), '\0');
        QVERIFY(f.face().CommandSentVisible);
        QCOMPARE(f.face().Weight, QStringLiteral("   1.00"));
    }

    void aTareWhoseSendFailsStaysPendingForTheNextFrame()
    {
        FrontPanelFixture f;
        f.connect();
        f.clock.advance(100);
        f.device->feed(FrontPanelFixture::frame("1.00"));
        f.clock.advance(100);
        f.panel->face().TareNumberClick(FaceModel::DigitCode + 2);
        f.panel->face().ButtonEnterClick();
        f.device->failWrites = true;
        f.device->feed(FrontPanelFixture::frame("1.00"));
        f.clock.advance(100);
        QCOMPARE(f.panel->face().pendingCommand(), QByteArray("T2\r"));
        f.device->failWrites = false;
        f.device->feed(FrontPanelFixture::frame("1.00"));
        f.clock.advance(100);
        QCOMPARE(f.device->takeWritten(), QByteArray("T2\r"));
        QVERIFY(f.panel->face().pendingCommand().isEmpty());
    }

    // The transfer's reply table, from idle and from a sent entry request.
    void transferReplies_data()
    {
        QTest::addColumn<bool>("entrySent");
        QTest::addColumn<Event>("event");
        QTest::addColumn<TransferState>("state");
        QTest::addColumn<TransferReply>("reply");
        QTest::addColumn<bool>("tokenTaken");
        QTest::addColumn<QStringList>("lines");

        const QString ack = QStringLiteral("KX7400 Acknowledgment Received!");
        QTest::newRow("ACK to the entry request")
            << true << Event::Ack << TransferState::EntryRequested
            << TransferReply::EntryAcknowledged << false << QStringList{ack};
        QTest::newRow("ACK unasked") << false << Event::Ack << TransferState::Idle
                                     << TransferReply::None << false << QStringList{};
        QTest::newRow("NAK to the entry request")
            << true << Event::Nak << TransferState::Idle << TransferReply::Refused << false
            << QStringList{"KX7400 Abandoned Operation!"};
        QTest::newRow("NAK unasked")
            << false << Event::Nak << TransferState::Idle << TransferReply::Refused << false
            << QStringList{"KX7400 Abandoned Operation!"};
        QTest::newRow("ready while entering")
            << true << Event::Ready << TransferState::EntryRequested << TransferReply::Ready << true
            << QStringList{"KX7400 Ready Response Received!"};
        QTest::newRow("time-out while entering")
            << true << Event::Timeout << TransferState::Idle << TransferReply::None << false
            << QStringList{"Timeout Occurred!"};
    }
    void transferReplies()
    {
        QFETCH(bool, entrySent);
        QFETCH(Event, event);
        QFETCH(TransferState, state);
        QFETCH(TransferReply, reply);
        QFETCH(bool, tokenTaken);
        QFETCH(QStringList, lines);

        SteppedClock clock{0};
        FakeLine line;
        RecordingHost view;
        TransferControl transfer(clock, line, view);
        transfer.editorOpened();
        if (entrySent) {
            TransferControl::PortFacts facts;
            facts.portNumber = 1;
            transfer.start(TransferDirection::Upload, facts);
            QCOMPARE(line.sent, QByteArray("pcmode"));
            QCOMPARE(transfer.state(), TransferState::EntryRequested);
            QVERIFY(transfer.token().isTaken());
            view.transferLines.clear();
        }
        switch (event) {
        case Event::Ack:
            transfer.onAck();
            break;
        case Event::Nak:
            transfer.onNak();
            break;
        case Event::Ready:
            transfer.onReady();
            break;
        case Event::Timeout:
            transfer.onReplyTimeout();
            break;
        }
        QCOMPARE(transfer.state(), state);
        QCOMPARE(transfer.reply(), reply);
        QCOMPARE(transfer.token().isTaken(), tokenTaken);
        QCOMPARE(view.transferLines, lines);
    }

    void entryRequestRefusals_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("tokenBusy");
        QTest::addColumn<QString>("line");
        QTest::newRow("no port") << 0 << true << false << "No Communications Port Selected.";
        QTest::newRow("port closed") << 1 << false << false << "Error Opening Communications Port.";
        QTest::newRow("token busy")
            << 1 << true << true << "Error Initializing Transfer. Try Again Later.";
    }
    void entryRequestRefusals()
    {
        QFETCH(int, portNumber);
        QFETCH(bool, open);
        QFETCH(bool, tokenBusy);
        QFETCH(QString, line);
        SteppedClock clock{0};
        FakeLine port;
        RecordingHost view;
        TransferControl transfer(clock, port, view);
        TransferControl::PortFacts facts;
        facts.portNumber = portNumber;
        port.open = open;
        transfer.start(TransferDirection::Upload, facts);
        if (tokenBusy) {
            // A second request while the first holds the token.
            QCOMPARE(port.sent, QByteArray("pcmode"));
            port.sent.clear();
            QVERIFY(!transfer.SendEntryRequest(portNumber));
        }
        QCOMPARE(view.transferLines.mid(1), QStringList{line});
        QCOMPARE(port.sent, QByteArray());
        QVERIFY(!transfer.running());
    }

    void debugAnswersAreTrimmedAndTheFirstIsDropped()
    {
        SteppedClock clock{0};
        FakeLine line;
        RecordingDebug shown;
        DebugMonitor monitor(clock, line, shown);
        line.inbox = "stale";
        monitor.start();
        clock.advance(100);
        QCOMPARE(line.discards, 1); // the first request starts from an empty input
        QCOMPARE(line.sent, QByteArray("\x05"));
        QCOMPARE(line.armedTicks, QList<int>{DebugMonitor::AnswerTicks});
        for (const QByteArray& answer :
             {QByteArray("first\r"), QByteArray("  second \r\n"), QByteArray("\tthird\x01\r")}) {
            line.inbox = answer;
            monitor.onDataAvailable(int(answer.size()));
            QCOMPARE(monitor.state(), DebugState::ReplyComplete);
            clock.advance(200); // shows, then asks again
        }
        QCOMPARE(shown.lines, (QStringList{"", "second", "third"}));
        QCOMPARE(line.sent, QByteArray(4, '\x05'));
        QCOMPARE(line.discards, 1);

        monitor.stop();
        clock.advance(1000);
        QCOMPARE(line.sent.size(), 4);
        QCOMPARE(shown.lines.last(), QStringLiteral("third"));
        QCOMPARE(shown.stops, 0);
    }

    void debugLineIsTheTextUpToItsFirstCR_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QString>("shown");
        QTest::newRow("blanks and line end around") << QByteArray("  A \r\n") << "A";
        QTest::newRow("a second line after the CR") << QByteArray("  A\rB\r\n") << "A";
        QTest::newRow("control characters around") << QByteArray("\x02\tA B\x03\r") << "A B";
        QTest::newRow("blanks inside stay") << QByteArray("node 3  ok\r") << "node 3  ok";
        QTest::newRow("nothing before the CR") << QByteArray("\rB\r") << "";
        QTest::newRow("no CR") << QByteArray(" A ") << "A";
        QTest::newRow("a frame's tail before the answer")
            << QByteArray("25.11_LB GR    \x04") + "FB node=1 seq=2\r" << "FB node=1 seq=2";
        QTest::newRow("whole frames before the answer")
            << QByteArray("  12.50_LB GR    \x04  12.50_LB GR    \x04 A\r\n") << "A";
        QTest::newRow("a frame after the CR") << QByteArray("A\r  12.50_LB GR    \x04") << "A";
        QTest::newRow("high characters are text") << QByteArray(1, '\xb0') + "C\r" << "\u00b0C";
    }
    void debugLineIsTheTextUpToItsFirstCR()
    {
        QFETCH(QByteArray, received);
        QFETCH(QString, shown);
        QCOMPARE(debugLineText(received), shown);
    }

    // An indicator in continuous mode streams weight frames (each ended by EOT) between the
    // debug answers; the debug line shows the answer alone.
    void debugLineHoldsTheAnswerWithoutFrames()
    {
        SteppedClock clock{0};
        FakeLine line;
        RecordingDebug shown;
        DebugMonitor monitor(clock, line, shown);
        monitor.start();
        clock.advance(100);
        const QByteArray frame = "  12.50_LB GR    \x04";
        for (const QByteArray& answer :
             {QByteArray("first\r"), frame + frame + "FB node=1 seq=2\r",
              frame + "FB node=1 seq=3\r" + frame}) {
            line.inbox = answer;
            monitor.onDataAvailable(int(answer.size()));
            clock.advance(200);
        }
        QCOMPARE(shown.lines, (QStringList{"", "FB node=1 seq=2", "FB node=1 seq=3"}));
    }

    void debugMonitorGivesUpOnAnAnswerThatNeverEnds()
    {
        SteppedClock clock{0};
        FakeLine line;
        RecordingDebug shown;
        DebugMonitor monitor(clock, line, shown);
        monitor.start();
        clock.advance(100);
        line.inbox = "no end";
        monitor.onDataAvailable(6);
        // Twenty steps of waiting, then "<<No Response>>" and a stop.
        clock.advance(100 * (DebugMonitor::ReplyWaitLimit - 1));
        QCOMPARE(shown.stops, 0);
        clock.advance(100);
        QCOMPARE(shown.stops, 1);
        QCOMPARE(shown.lines.last(), QStringLiteral("<<No Response>>"));
        QVERIFY(!monitor.running());
        QVERIFY(!monitor.active());
    }

    void debugMonitorOnAClosedPortSendsNothingAndStops()
    {
        SteppedClock clock{0};
        FakeLine line;
        line.open = false;
        RecordingDebug shown;
        DebugMonitor monitor(clock, line, shown);
        monitor.start();
        clock.advance(100 * (DebugMonitor::ReplyWaitLimit + 1));
        QCOMPARE(line.sent, QByteArray());
        QCOMPARE(shown.stops, 1);
        QCOMPARE(shown.lines.last(), QStringLiteral("<<No Response>>"));
    }
};

QTEST_GUILESS_MAIN(LineOwnerTest)
#include "tst_lineowner.moc"
