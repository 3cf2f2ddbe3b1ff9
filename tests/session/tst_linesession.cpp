// One line's session against the simulated indicator, in-process on the stepped clock: who
// may borrow the line from polling, the transfer run without any editor window, and the
// backup before an update, which ends as its upload ends.
#include "SimSessionFixture.h"
#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "transfer/TransferInputs.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace kx;
using kx::test::RecordingHost;
using kx::test::SimulatedIndicator;

namespace {

struct Host : RecordingHost
{
    QList<TransferResult> results;
    void transferEnded(const TransferResult& r) override { results << r; }
};

// The session polling the simulated indicator, a frame shown.
struct Bench : kx::test::SimSessionFixture<Host>
{
    Bench() { clock.advance(1000); }

    QStringList backups() const
    {
        return QDir(dir.filePath(QStringLiteral("SAVED/BACKUP")))
            .entryList({QStringLiteral("*.dat")}, QDir::Files);
    }
};

} // namespace

class LineSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void theLineIsLentOnlyWhenPollingHasIt_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("lent");
        QTest::newRow("polling") << "polling" << true;
        QTest::newRow("the update holds the line") << "update" << false;
        QTest::newRow("the port is being opened") << "opening" << false;
        QTest::newRow("already lent") << "lent" << false;
        QTest::newRow("the debug monitor has it") << "debug" << false;
    }
    void theLineIsLentOnlyWhenPollingHasIt()
    {
        QFETCH(QString, state);
        QFETCH(bool, lent);
        Bench b;
        QVERIFY(b.panel->connected());
        LineSession& s = *b.panel;
        if (state == "update")
            s.updateHost().takeLineForUpdate();
        else if (state == "opening")
            s.OpenComPort();
        else if (state == "lent" || state == "debug")
            QVERIFY(s.lendLineToTransfer());
        if (state == "debug")
            s.startDebugMonitor();
        const LineOwner before = s.lineOwner();
        const int beeps = b.host.beeps;

        QCOMPARE(s.lendLineToTransfer(), lent);
        QCOMPARE(b.host.beeps, beeps + (lent ? 0 : 1));
        QCOMPARE(s.lineOwner(), lent ? LineOwner::SettingsTransfer : before);
        if (!lent)
            return;
        QCOMPARE(s.pollCycle().pollTimer().interval(), 0);
        s.takeLineFromTransfer();
        QCOMPARE(s.lineOwner(), LineOwner::Polling);
        QVERIFY(s.pollCycle().pollTimer().ticking());
        b.sim->takeReceived();
        b.clock.advance(1000);
        QVERIFY(!b.sim->received.isEmpty()); // DEMAND polls again
    }

    // What kxlink-cli does: the transfer has the line with no editor shown and no nested
    // wait; the run ends on its own and polling takes the line back.
    // A download is believed only once it is read back: every setting sent held as sent, or
    // each one the indicator holds otherwise named; Port.Ini can turn the read-back off.
    void aDownloadIsReadBack_data()
    {
        QTest::addColumn<QByteArray>("hold");
        QTest::addColumn<bool>("verifyOn");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QStringList>("differences");
        using V = QStringList;
        QTest::newRow("held as sent") << QByteArray() << true << Outcome::Completed << V{};
        QTest::newRow("capacity clamped")
            << QByteArray("[CAL],1=2500") << true << Outcome::NotAsSent
            << V{"Calibration / Scale Capacity: sent 7500, holds 2500"};
        QTest::newRow("capacity ignored")
            << QByteArray("[CAL],1") << true << Outcome::NotAsSent
            << V{"Calibration / Scale Capacity: sent 7500, holds 5000"};
        QTest::newRow("read-back off") << QByteArray("[CAL],1=2500") << false
                                       << Outcome::Completed << V{};
    }
    void aDownloadIsReadBack()
    {
        QFETCH(QByteArray, hold);
        QFETCH(bool, verifyOn);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, differences);
        Bench b;
        if (!hold.isEmpty())
            QVERIFY(b.sim->setup.addHold(hold));
        if (!verifyOn) {
            QFile ini(b.dir.filePath("Port.Ini"));
            QVERIFY(ini.open(QIODevice::Append));
            ini.write("[Advanced]\r\nVerify After Write=0\r\n");
            ini.close();
            b.port.LoadPortSettings();
        }
        LineSession& s = *b.panel;
        // The indicator's own setup with a new capacity.
        QByteArray text = b.sim->setup.uploadText(QDateTime());
        QVERIFY(s.lendLineToTransfer());
        s.startTransfer(TransferDirection::Upload);
        QVERIFY(b.stepUntil([&] { return !b.host.results.isEmpty(); }));
        QByteArray file;
        for (const QByteArray& line : s.uploadLines())
            file += line + "\r\n";
        QVERIFY(file.contains("Scale Capacity=5000\r\n"));
        file.replace("Scale Capacity=5000\r\n", "Scale Capacity=7500\r\n");
        QFile out(b.dir.filePath("new.dat"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        // The file as a download takes it: read once and checked; what the indicator itself
        // gave back must pass.
        const SettingsFileCheck check = readCheckedSettings(out.fileName());
        QVERIFY2(check.checked, qPrintable(check.refusal));
        b.host.inputs = transferInputsOf(readSettings(IniDocument::fromBytes(file)), *check.checked);
        b.host.results.clear();
        b.clock.advance(500);
        s.startTransfer(TransferDirection::Download);
        QVERIFY(b.stepUntil([&] { return !b.host.results.isEmpty(); }));
        const TransferResult& r = b.host.results.first();
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(r.differences, differences);
        QCOMPARE(r.verify, !verifyOn ? TransferResult::Verify::NotRun
                           : differences.isEmpty() ? TransferResult::Verify::Verified
                                                   : TransferResult::Verify::Differs);
        if (verifyOn && differences.isEmpty())
            QVERIFY(b.host.transferLines.contains(
                QStringLiteral("Verified: the KX7400 holds all %1 settings sent.").arg(r.settingsCompared)));
        if (!verifyOn)
            QVERIFY(b.host.transferLines.contains("Not verified: the setup was not read back."));
        s.takeLineFromTransfer();
    }

    void anUploadRunsWithoutAnEditorWindow()
    {
        Bench b;
        LineSession& s = *b.panel;
        QVERIFY(s.lendLineToTransfer());
        s.startTransfer(TransferDirection::Upload);
        const qint64 started = b.clock.nowMs();
        QVERIFY(b.stepUntil([&] { return !b.host.results.isEmpty(); }));
        QVERIFY(b.clock.nowMs() > started);
        QCOMPARE(b.host.results.size(), 1);
        QCOMPARE(b.host.results[0].outcome, Outcome::Completed);
        QVERIFY(!s.uploadLines().isEmpty());
        QCOMPARE(b.host.editors, 0);
        s.takeLineFromTransfer();
        b.clock.advance(1000);
        QCOMPARE(s.faceState().Weight, QStringLiteral("  12.50"));
    }

    // The backup before an update drives its upload and is told its end: the update opens at
    // once, not at a later look, with the indicator's setup saved as it came.
    void theBackupEndsWithItsUpload()
    {
        Bench b;
        LineSession& s = *b.panel;
        b.port.BackupBeforeWrite = true;
        s.FormKeyUp(Qt::Key_F3);
        QVERIFY(s.backingUp());
        QCOMPARE(s.lineOwner(), LineOwner::SettingsTransfer);
        QVERIFY(b.stepUntil([&] { return !b.host.results.isEmpty(); }));
        QCOMPARE(b.host.results[0].outcome, Outcome::Completed);
        const qint64 uploadEnded = b.clock.nowMs();
        QVERIFY(b.stepUntil([&] { return b.host.firmwareUpdates > 0; }, 1000));
        QVERIFY(b.clock.nowMs() - uploadEnded <= 1);
        QVERIFY(!s.backingUp());
        QCOMPARE(s.lineOwner(), LineOwner::Polling);
        QVERIFY(b.host.warnings.isEmpty());

        const QStringList saved = b.backups();
        QCOMPARE(saved.size(), 1);
        QFile file(QDir(b.dir.filePath(QStringLiteral("SAVED/BACKUP"))).filePath(saved[0]));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), linesText(s.uploadLines()));
        b.clock.advance(1000);
        QCOMPARE(s.faceState().Weight, QStringLiteral("  12.50"));
    }

    // A backup that cannot read the setup, or a close request under it, opens no update.
    void aBackupThatDoesNotEndWellOpensNoUpdate_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("silent indicator") << "silent";
        QTest::newRow("close request") << "close";
        QTest::newRow("device unplugged") << "unplug";
    }
    void aBackupThatDoesNotEndWellOpensNoUpdate()
    {
        QFETCH(QString, what);
        Bench b;
        LineSession& s = *b.panel;
        b.port.BackupBeforeWrite = true;
        if (what == "silent")
            b.sim->silence(-1);
        s.FormKeyUp(Qt::Key_F3);
        b.clock.advance(1); // the entry request is out, its answer not in
        if (what == "close")
            QVERIFY(!s.FormCloseQuery());
        else if (what == "unplug")
            b.sim->unplug();
        QVERIFY(b.stepUntil([&] { return !s.backingUp(); }, 40000));
        QCOMPARE(b.host.firmwareUpdates, 0);
        // A setup read whole before the program ended is kept; nothing else is.
        if (what != "close")
            QVERIFY(b.backups().isEmpty());
        // The user hears why, unless the program is on its way out.
        QCOMPARE(b.host.warnings.size(), what == "close" ? 0 : 1);
        if (what != "close")
            QVERIFY(b.host.warnings[0].startsWith(QStringLiteral("Backup Failed: ")));
    }

    // A line that answers the entry and then dribbles bytes would keep an upload alive up to
    // its size limit, minutes at a low rate: the backup gives up after its own bound, and
    // the keys that take the line work again.
    void aDribblingLineEndsTheBackupAtItsBound()
    {
        kx::test::FrontPanelFixture f(1);
        f.connect();
        f.port.BackupBeforeWrite = true;
        f.panel->FormKeyUp(Qt::Key_F3);
        QVERIFY(f.panel->backingUp());
        f.clock.advance(300);
        f.device->feed(QByteArray(1, '\x06')); // the entry's ACK
        f.clock.advance(300);
        f.device->feed(QByteArray(1, '\x02'));
        const qint64 start = f.clock.nowMs();
        while (f.panel->backingUp() && f.clock.nowMs() - start < 60000) {
            f.device->feed("x,");
            f.clock.advance(500);
        }
        QVERIFY(!f.panel->backingUp());
        QVERIFY(f.clock.nowMs() - start >= BackupJob::GiveUpAfter.count() - 1000);
        QVERIFY(f.clock.nowMs() - start <= BackupJob::GiveUpAfter.count() + 1000);
        QCOMPARE(f.host.firmwareUpdates, 0);
        QCOMPARE(f.host.warnings.size(), 1);
        QVERIFY(f.host.warnings[0].startsWith(QStringLiteral("Backup Failed: ")));
        QCOMPARE(f.panel->lineOwner(), LineOwner::Polling);
    }
};

QTEST_GUILESS_MAIN(LineSessionTest)
#include "tst_linesession.moc"
