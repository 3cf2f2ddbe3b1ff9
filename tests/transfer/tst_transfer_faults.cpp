// The settings transfer and the debug monitor against the simulated indicator, in-process on
// the stepped clock: every run ends, within its time-out, with one outcome and its line, and
// nothing of it is sent after its end.
#include "SimSessionFixture.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "transfer/TransferControl.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace kx;
using kx::test::RecordingHost;
using kx::test::SimulatedIndicator;

namespace {

const char ACK = 0x06, NAK = 0x15, STX = 0x02;

enum class Column
{
    Upload,
    Download,
    Debug
};

// When a row's fault strikes.
enum class Step
{
    Start,     // before the run starts
    Entry,     // the entry request is out
    Acked,     // the indicator acknowledged; u or d is queued
    Commanded, // d went out (a download)
    Uploading, // the upload text is coming
    Ready,     // "ready" came; the data is due
    DataSent,  // the download data went out
    Ended,     // after the run's end
    Running,   // the debug monitor has shown an answer
};

enum class Fault
{
    None,
    Silence,     // the indicator falls silent for good
    NakStorm,    // NAK every 50 ms
    Noise,       // a burst of bytes that mean nothing
    SendRefused, // the port refuses every write
    Unplug,
    Cancel,
    Close,     // the editor closes
    LateReply, // ACK, NAK and "ready" after the end
    Abort,     // the indicator answers the data with "ready"
};

struct Host : RecordingHost
{
    QList<TransferResult> results;
    QList<DebugResult> debugResults;
    qint64 endedAt = -1;
    qsizetype sentAtEnd = -1;
    std::function<void()> atEnd;
    void transferEnded(const TransferResult& r) override
    {
        results << r;
        if (atEnd)
            atEnd();
    }
    void debugEnded(const DebugResult& r) override
    {
        debugResults << r;
        if (atEnd)
            atEnd();
    }
};

// The session on the simulated indicator, its editor about to open, a settings file to send.
struct SimFixture : kx::test::SimSessionFixture<Host>
{
    SimFixture()
    {
        clock.setDateTime(QDateTime(QDate(2006, 3, 21), QTime(14, 5, 9)));
        IniDocument doc;
        writeSettings(doc, newSettingsRecord());
        host.inputs.settings = {QDir(dir.path()).filePath("x.dat"), doc.toBytes()};
    }
    bool ended() const { return !host.results.isEmpty() || !host.debugResults.isEmpty(); }
};

// The main port as an engine sees it: records sends, can refuse them.
struct FakeLine : MainLine
{
    bool open = true;
    bool refuse = false;
    QByteArray sent;
    QByteArray inbox;
    bool isOpen() const override { return open; }
    bool send(const QByteArray& bytes) override
    {
        if (!open || refuse)
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
        inbox.clear();
        return !refuse;
    }
    QString failure() const override { return QStringLiteral("refused"); }
    void armReplyTimer(bool, int) override {}
};

enum class TransferPoint
{
    EntryWait,
    CommandQueued,
    Uploading,
    DownloadCommanded,
    ReadyReceived,
    DataSent
};

enum class Event
{
    Tick,
    Bytes,
    Ack,
    Nak,
    Ready,
    ReplyTimer,
    Cancel,
    Close,
    SendFailure,
    LineLost
};

bool reached(Step step, const SimFixture& f)
{
    const TransferControl& t = f.panel->transfer();
    const QStringList& lines = f.host.transferLines;
    switch (step) {
    case Step::Start:
    case Step::Entry:
        return true;
    case Step::Acked:
        return t.command() != 0;
    case Step::Commanded:
        return t.state() == TransferState::DownloadCommanded;
    case Step::Uploading:
        return lines.contains("Uploading Settings...");
    case Step::Ready:
        return t.state() == TransferState::DownloadCommanded && t.reply() == TransferReply::Ready;
    case Step::DataSent:
        return t.state() == TransferState::DownloadDataSent;
    case Step::Ended:
        return f.ended();
    case Step::Running:
        return f.host.debugLines.size() >= 2;
    }
    return false;
}

} // namespace

class TransferFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    // Every state of the transfer under every event, then silence: whatever came, the run
    // ends within its longest wait, once, and sends nothing after its end.
    void everyStateHasAWayOut_data()
    {
        QTest::addColumn<TransferPoint>("point");
        QTest::addColumn<Event>("event");
        const QList<std::pair<const char*, TransferPoint>> points = {
            {"entry wait", TransferPoint::EntryWait},
            {"command queued", TransferPoint::CommandQueued},
            {"uploading", TransferPoint::Uploading},
            {"d sent", TransferPoint::DownloadCommanded},
            {"ready received", TransferPoint::ReadyReceived},
            {"data sent", TransferPoint::DataSent}};
        const QList<std::pair<const char*, Event>> events = {
            {"tick", Event::Tick},         {"bytes", Event::Bytes},
            {"ACK", Event::Ack},           {"NAK", Event::Nak},
            {"ready", Event::Ready},       {"reply timer", Event::ReplyTimer},
            {"cancel", Event::Cancel},     {"close", Event::Close},
            {"send failure", Event::SendFailure}, {"line lost", Event::LineLost}};
        for (const auto& [pname, point] : points)
            for (const auto& [ename, event] : events)
                QTest::addRow("%s x %s", pname, ename) << point << event;
    }
    void everyStateHasAWayOut()
    {
        QFETCH(TransferPoint, point);
        QFETCH(Event, event);
        QTemporaryDir dir;
        SteppedClock clock{0};
        FakeLine line;
        Host view;
        IniDocument doc;
        writeSettings(doc, newSettingsRecord());
        view.inputs.settings = {QDir(dir.path()).filePath("x.dat"), doc.toBytes()};
        TransferControl transfer(clock, line, view, dir.path());
        qsizetype sentAtEnd = -1;
        view.atEnd = [&] { sentAtEnd = line.sent.size(); };

        const bool upload = point == TransferPoint::CommandQueued || point == TransferPoint::Uploading;
        TransferControl::PortFacts facts;
        facts.portNumber = 1;
        transfer.editorOpened();
        transfer.start(upload ? TransferDirection::Upload : TransferDirection::Download, facts);
        if (point != TransferPoint::EntryWait) {
            transfer.onAck();
            if (point != TransferPoint::CommandQueued)
                clock.advance(100);
        }
        if (point == TransferPoint::Uploading) {
            line.inbox = QByteArray(1, 0x02) + "[CFG],1,";
            transfer.onDataAvailable(int(line.inbox.size()));
        }
        if (point == TransferPoint::ReadyReceived || point == TransferPoint::DataSent)
            transfer.onReady();
        if (point == TransferPoint::DataSent)
            clock.advance(100);
        QVERIFY(transfer.running());

        switch (event) {
        case Event::Tick:
            clock.advance(100);
            break;
        case Event::Bytes:
            line.inbox = "\x01\x7f#junk";
            transfer.onDataAvailable(int(line.inbox.size()));
            break;
        case Event::Ack:
            transfer.onAck();
            break;
        case Event::Nak:
            transfer.onNak();
            break;
        case Event::Ready:
            transfer.onReady();
            break;
        case Event::ReplyTimer:
            transfer.onReplyTimeout();
            break;
        case Event::Cancel:
            transfer.cancel();
            break;
        case Event::Close:
            transfer.editorClosed();
            break;
        case Event::SendFailure:
            line.refuse = true;
            break;
        case Event::LineLost:
            line.open = false;
            transfer.lineLost(QStringLiteral("unplugged"));
            break;
        }
        // Then nothing more from the indicator.
        clock.advance(25000);
        QVERIFY(!transfer.running());
        QCOMPARE(view.results.size(), 1);
        QCOMPARE(line.sent.size(), sentAtEnd);
        // Only a download that the indicator acknowledged completes.
        if (view.results.first().outcome == Outcome::Completed)
            QVERIFY(point == TransferPoint::DataSent && event == Event::Ack);
    }

    // The debug monitor likewise: asking, waiting, an answer in, under every event.
    void debugMonitorHasAWayOut_data()
    {
        QTest::addColumn<int>("steps"); // steps of 100 ms into the run
        QTest::addColumn<Event>("event");
        for (const int steps : {0, 1, 2})
            for (const auto& [name, event] :
                 QList<std::pair<const char*, Event>>{{"tick", Event::Tick},
                                                      {"bytes", Event::Bytes},
                                                      {"answer", Event::Ready},
                                                      {"reply timer", Event::ReplyTimer},
                                                      {"stop", Event::Cancel},
                                                      {"close", Event::Close},
                                                      {"send failure", Event::SendFailure},
                                                      {"line lost", Event::LineLost}})
                QTest::addRow("after %d steps x %s", steps, name) << steps << event;
    }
    void debugMonitorHasAWayOut()
    {
        QFETCH(int, steps);
        QFETCH(Event, event);
        SteppedClock clock{0};
        FakeLine line;
        struct Listener : DebugMonitorListener
        {
            QList<DebugResult> results;
            void showDebugLine(const QString&) override {}
            void debugStopped() override {}
            void debugEnded(const DebugResult& r) override { results << r; }
        } listener;
        DebugMonitor monitor(clock, line, listener);
        monitor.start();
        clock.advance(100 * steps);
        switch (event) {
        case Event::Tick:
            clock.advance(100);
            break;
        case Event::Bytes:
            line.inbox = "\x01junk";
            monitor.onDataAvailable(int(line.inbox.size()));
            break;
        case Event::Ready:
            line.inbox = "KX debug 1\r\n";
            monitor.onDataAvailable(int(line.inbox.size()));
            break;
        case Event::ReplyTimer:
            monitor.onReplyTimeout();
            break;
        case Event::Cancel:
            monitor.stop();
            break;
        case Event::Close:
            monitor.stop(Outcome::Cancelled);
            break;
        case Event::SendFailure:
            line.refuse = true;
            break;
        case Event::LineLost:
            line.open = false;
            monitor.lineLost(QStringLiteral("unplugged"));
            break;
        default:
            break;
        }
        const qsizetype sent = line.sent.size();
        clock.advance(25000);
        QVERIFY(!monitor.running());
        QCOMPARE(listener.results.size(), 1);
        // Silence after the event: at most the asks of the 20 steps before "no response".
        QVERIFY(line.sent.size() - sent <= 2);
    }

    void faultTable_data()
    {
        QTest::addColumn<Column>("column");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Step>("step");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("text");  // the closing line; empty: none of the engine's
        QTest::addColumn<qint64>("within"); // ms from the fault to the end
        QTest::addColumn<bool>("dataSent"); // the indicator received the download's STX

        const QString noAnswer = "No answer from the KX7400.";
        const QString timeout = "Timeout Occurred!";
        const QString portError = "Communication Port Error. Action Failed.";
        const qint64 reply = TransferControl::ReplyTimeout.count() + 100;
        const qint64 entry = 20000 + 100;

        using C = Column;
        using F = Fault;
        using S = Step;
        using O = Outcome;
        QTest::newRow("upload") << C::Upload << F::None << S::Start << O::Completed
                                << "Upload Complete!" << qint64(3000) << false;
        QTest::newRow("upload: silent from the start")
            << C::Upload << F::Silence << S::Start << O::NoAnswer << noAnswer << entry << false;
        QTest::newRow("upload: silent after the ACK")
            << C::Upload << F::Silence << S::Acked << O::NoAnswer << timeout << reply + 100 << false;
        QTest::newRow("upload: silent mid-upload")
            << C::Upload << F::Silence << S::Uploading << O::NoAnswer << timeout << reply << false;
        QTest::newRow("upload: NAK storm")
            << C::Upload << F::NakStorm << S::Start << O::Refused << "KX7400 Abandoned Operation!"
            << qint64(100) << false;
        QTest::newRow("upload: noise before the ACK")
            << C::Upload << F::Noise << S::Start << O::Completed << "Upload Complete!"
            << qint64(3000) << false;
        QTest::newRow("upload: send refused from the start")
            << C::Upload << F::SendRefused << S::Start << O::LineFailed << portError << qint64(0)
            << false;
        QTest::newRow("upload: send refused after the ACK")
            << C::Upload << F::SendRefused << S::Acked << O::LineFailed << portError
            << qint64(100) << false;
        QTest::newRow("upload: unplugged mid-upload")
            << C::Upload << F::Unplug << S::Uploading << O::LineFailed << portError << qint64(10)
            << false;
        QTest::newRow("upload: Cancel in the entry wait")
            << C::Upload << F::Cancel << S::Entry << O::Cancelled << "" << qint64(0) << false;
        QTest::newRow("upload: Cancel with u queued")
            << C::Upload << F::Cancel << S::Acked << O::Cancelled << "" << qint64(0) << false;
        QTest::newRow("upload: Cancel mid-upload")
            << C::Upload << F::Cancel << S::Uploading << O::Cancelled << "" << qint64(0) << false;
        QTest::newRow("upload: late replies after the end")
            << C::Upload << F::LateReply << S::Ended << O::Completed << "Upload Complete!"
            << qint64(3000) << false;
        QTest::newRow("upload: the editor closes mid-upload")
            << C::Upload << F::Close << S::Uploading << O::Cancelled << "" << qint64(0) << false;

        QTest::newRow("download") << C::Download << F::None << S::Start << O::Completed
                                  << "Download complete!" << qint64(3000) << true;
        QTest::newRow("download: silent from the start")
            << C::Download << F::Silence << S::Start << O::NoAnswer << noAnswer << entry << false;
        QTest::newRow("download: silent after d")
            << C::Download << F::Silence << S::Acked << O::NoAnswer << timeout << reply + 100
            << false;
        // The data's answer waits for the indicator to store its setup.
        QTest::newRow("download: silent after the data")
            << C::Download << F::Silence << S::Ready << O::NoAnswer << timeout
            << qint64(TransferControl::StoreTimeout.count()) + 1000 << true;
        QTest::newRow("download: NAK storm after d")
            << C::Download << F::NakStorm << S::Commanded << O::Refused
            << "KX7400 Abandoned Operation!" << qint64(100) << false;
        QTest::newRow("download: aborted by the indicator")
            << C::Download << F::Abort << S::Start << O::Refused << "Download Failed!"
            << qint64(3000) << true;
        QTest::newRow("download: noise before the ACK")
            << C::Download << F::Noise << S::Start << O::Completed << "Download complete!"
            << qint64(3000) << true;
        QTest::newRow("download: send refused after the ACK")
            << C::Download << F::SendRefused << S::Acked << O::LineFailed << portError
            << qint64(100) << false;
        QTest::newRow("download: unplugged after d")
            << C::Download << F::Unplug << S::Commanded << O::LineFailed << portError << qint64(10)
            << false;
        QTest::newRow("download: Cancel in the entry wait")
            << C::Download << F::Cancel << S::Entry << O::Cancelled << "" << qint64(0) << false;
        QTest::newRow("download: Cancel with d queued")
            << C::Download << F::Cancel << S::Acked << O::Cancelled << "" << qint64(0) << false;
        QTest::newRow("download: Cancel after d")
            << C::Download << F::Cancel << S::Commanded << O::Cancelled
            << "Download cancelled: the indicator may be waiting; its setup was not changed"
            << qint64(0) << false;
        QTest::newRow("download: Cancel after ready")
            << C::Download << F::Cancel << S::Ready << O::Cancelled
            << "Download cancelled: the indicator may be waiting; its setup was not changed"
            << qint64(0) << false;
        QTest::newRow("download: Cancel after the data")
            << C::Download << F::Cancel << S::DataSent << O::Cancelled
            << "Download cancelled after the data went out: the indicator may have taken it."
            << qint64(0) << true;
        QTest::newRow("download: late replies after the end")
            << C::Download << F::LateReply << S::Ended << O::Completed << "Download complete!"
            << qint64(3000) << true;
        QTest::newRow("download: the editor closes after d")
            << C::Download << F::Close << S::Commanded << O::Cancelled << "" << qint64(0) << false;

        QTest::newRow("debug: silent from the start")
            << C::Debug << F::Silence << S::Start << O::NoAnswer << "" << qint64(2300) << false;
        QTest::newRow("debug: silent mid-run")
            << C::Debug << F::Silence << S::Running << O::NoAnswer << "" << qint64(2300) << false;
        QTest::newRow("debug: send refused")
            << C::Debug << F::SendRefused << S::Running << O::LineFailed << "" << qint64(300)
            << false;
        QTest::newRow("debug: unplugged")
            << C::Debug << F::Unplug << S::Running << O::LineFailed << "" << qint64(10) << false;
        QTest::newRow("debug: stopped") << C::Debug << F::Cancel << S::Running << O::Completed
                                        << "" << qint64(0) << false;
        QTest::newRow("debug: the editor closes")
            << C::Debug << F::Close << S::Running << O::Cancelled << "" << qint64(0) << false;
    }

    void faultTable()
    {
        QFETCH(Column, column);
        QFETCH(Fault, fault);
        QFETCH(Step, step);
        QFETCH(Outcome, outcome);
        QFETCH(QString, text);
        QFETCH(qint64, within);
        QFETCH(bool, dataSent);

        SimFixture f;
        const QByteArray setupBefore = f.sim->setup.uploadText(QDateTime());
        qint64 faultAt = -1;
        qsizetype sentAtEnd = -1;
        f.host.atEnd = [&] { sentAtEnd = f.sim->received.size(); };
        qint64 nakStormNext = -1;
        QByteArray afterClose;

        const auto strike = [&] {
            faultAt = f.clock.nowMs();
            switch (fault) {
            case Fault::None:
            case Fault::Close:
                break;
            case Fault::Silence:
                f.sim->silence(-1);
                break;
            case Fault::NakStorm:
                nakStormNext = f.clock.nowMs();
                break;
            case Fault::Noise:
                f.sim->inject(QByteArray("\x01\x7f#junk\x03\xff", 9));
                break;
            case Fault::SendRefused:
                f.sim->refuseWrites = true;
                break;
            case Fault::Unplug:
                f.sim->unplug();
                break;
            case Fault::Cancel:
                if (column == Column::Debug)
                    f.panel->stopDebugMonitor();
                else
                    f.panel->cancelTransfer();
                break;
            case Fault::LateReply:
                f.sim->inject(QByteArray(1, ACK) + QByteArray(1, NAK) + "ready");
                break;
            case Fault::Abort:
                f.sim->faults.abortNext();
                break;
            }
        };

        f.host.onEditor = [&] {
            f.sim->takeReceived();
            if (step == Step::Start)
                strike();
            if (column == Column::Debug)
                f.panel->startDebugMonitor();
            else
                f.panel->startTransfer(column == Column::Upload ? TransferDirection::Upload
                                                                : TransferDirection::Download);
            // The run, up to well past its longest wait; then a while more, for anything
            // sent after its end.
            qint64 endedAt = -1;
            for (int ms = 0; ms < 25000; ++ms) {
                if (faultAt < 0 && reached(step, f)) {
                    strike();
                    if (fault == Fault::Close)
                        return;
                }
                if (nakStormNext >= 0 && f.clock.nowMs() >= nakStormNext) {
                    f.sim->inject(QByteArray(1, NAK));
                    nakStormNext += 50;
                }
                if (endedAt < 0 && f.ended())
                    endedAt = f.clock.nowMs();
                if (endedAt >= 0 && f.clock.nowMs() > endedAt + 3000 && faultAt >= 0)
                    break;
                f.clock.advance(1);
            }
            QVERIFY2(endedAt >= 0, "the run did not end");
            QVERIFY2(endedAt - faultAt <= within,
                     qPrintable(QStringLiteral("ended %1 ms after the fault").arg(endedAt - faultAt)));
        };
        f.panel->F4OptionsButtonClick();
        // Polling is back once the editor has closed, on any port that still works. (Whether
        // the indicator answers depends on how it left PC mode: the simulator stays in it
        // while bytes keep coming.)
        f.sim->silence(0);
        f.sim->refuseWrites = false;
        f.clock.advance(1000);
        afterClose = f.sim->received.mid(sentAtEnd);
        if (fault != Fault::Unplug)
            QVERIFY(afterClose.contains('\r'));

        // One outcome, once.
        if (column == Column::Debug) {
            QCOMPARE(f.host.debugResults.size(), 1);
            QCOMPARE(f.host.debugResults.first().outcome, outcome);
            QVERIFY(f.host.results.isEmpty());
        } else {
            QCOMPARE(f.host.results.size(), 1);
            const TransferResult& r = f.host.results.first();
            QCOMPARE(r.outcome, outcome);
            QCOMPARE(r.text, text);
            if (!text.isEmpty())
                QCOMPARE(f.host.transferLines.last(), text);
            QCOMPARE(r.indicatorTold, QByteArray(f.sim->received).replace("pcmode", "").contains('d'));
            // Once the data is out, only the indicator's own verdict settles what it holds.
            const bool verdict = outcome == Outcome::Completed || outcome == Outcome::Refused;
            QCOMPARE(r.mayHoldNewSetup, dataSent && !verdict);
            if (r.mayHoldNewSetup)
                QVERIFY(f.host.transferLines.join('\n').contains("may hold the new setup"));
        }
        // Nothing of the run goes out after its end; only polling, once the editor closed.
        QVERIFY(sentAtEnd >= 0);
        for (const char c : afterClose)
            QVERIFY2(c == '\r' || c == '?', afterClose.toHex().constData());
        QCOMPARE(f.sim->received.contains(STX), dataSent);
        if (!dataSent)
            QCOMPARE(f.sim->setup.uploadText(QDateTime()), setupBefore);
        // The upload's file is there only when an upload completed.
        const bool uploaded = column == Column::Upload && outcome == Outcome::Completed;
        QCOMPARE(QFile::exists(QDir(f.dir.path()).filePath("Upload.Txt")), uploaded);
        QCOMPARE(f.panel->lineOwner(), LineOwner::Polling);
    }
};

QTEST_GUILESS_MAIN(TransferFaultsTest)
#include "tst_transfer_faults.moc"
