#include "FileSizeLimit.h"
#include "FrontPanelFixture.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "transfer/TransferControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <optional>

#include "TestFiles.h"

#include "UploadSample.h"

using namespace kx;
using kx::test::readAll;
using kx::test::FrontPanelFixture;

namespace {

const QByteArray ACK(1, 0x06), NAK(1, 0x15), STX(1, 0x02), EOT(1, 0x04);



// A front panel whose editor is open, driven step by step from inside it.
struct TransferFixture : FrontPanelFixture
{
    TransferFixture()
    {
        connect();
        clock.setDateTime(QDateTime(QDate(2006, 3, 21), QTime(14, 5, 9)));
        // These scripts play the indicator's side of one exchange; the read-back after a
        // download is tried against the simulated indicator.
        panel->setVerifyAfterWrite(false);
    }

    // Runs steps with the editor open, as F4 opens it.
    void inEditor(const std::function<void()>& steps)
    {
        host.onEditor = [&] {
            device->takeWritten();
            steps();
        };
        panel->F4OptionsButtonClick();
    }
    const TransferControl& transfer() const { return panel->transfer(); }
    void reply(const QByteArray& bytes)
    {
        device->feed(bytes);
        clock.runPosted();
    }
    // Lets the entry wait see the answer and the editor timer run its next steps.
    void tick(int ms = 100) { clock.advance(ms); }
    // A settings file of a new record, open in the editor for a download.
    bool openNewSettingsFile()
    {
        IniDocument doc;
        writeSettings(doc, newSettingsRecord());
        const QString file = QDir(dir.path()).filePath("x.dat");
        host.inputs.settings = {file, doc.toBytes()};
        return doc.save(file);
    }
};

} // namespace

// The settings transfer with a scripted indicator and a stepped clock.
class TransferControlTest : public QObject
{
    Q_OBJECT

private slots:
    void completeUpload()
    {
        TransferFixture f;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmode"));
            f.reply(ACK);
            f.tick(10);
            QCOMPARE(f.transfer().command(), 'u');
            f.tick(100);
            QCOMPARE(f.device->takeWritten(), QByteArray("u"));
            QCOMPARE(f.transfer().state(), TransferState::Uploading);
            // The upload comes in pieces; only the one with the EOT ends it.
            const QByteArray all = STX + kUploadOne + EOT;
            f.reply(all.left(5));
            f.reply(all.mid(5, 300));
            QVERIFY(f.host.transferRunning);
            f.reply(all.mid(305));
            QCOMPARE(f.device->takeWritten(), ACK);
        });
        QCOMPARE(f.host.transferLines,
                 (QStringList{"Initializing KX7400 Upload... please wait. ",
                              "KX7400 Acknowledgment Received!", "Beginning upload...",
                              "Uploading Settings...", "Upload Complete!"}));
        QVERIFY(!f.host.transferRunning);
        QCOMPARE(readAll(QDir(f.dir.path()).filePath("Upload.Txt")), kUploadOne);
        QVERIFY(f.panel->uploadLines().contains("Custom Name=Barrels"));
    }

    // An indicator (or a converter) that hands everything over at once: nothing may be lost
    // to the display path's overflow rule, and what follows the EOT is not upload text.
    void uploadInOneBurstIsReceivedWhole()
    {
        TransferFixture f;
        QByteArray text = kUploadOne;
        text.replace("[CST],<A><B><C><G><T>,", "[CST]," + QByteArray(900, 'x') + ",");
        QVERIFY(text.size() > 1200);
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            f.reply(ACK);
            f.tick(110);
            f.device->takeWritten();
            f.reply(STX + text + EOT + "  12.50_LB GR    " + EOT);
            QCOMPARE(f.device->takeWritten(), ACK);
        });
        QCOMPARE(f.host.transferLines.last(), QString("Upload Complete!"));
        QCOMPARE(readAll(QDir(f.dir.path()).filePath("Upload.Txt")), text);
    }

    // Upload.Txt that cannot be created (a folder in the way stops even an administrator)
    // and one that is created but cannot be written whole (the disk fills) have texts of
    // their own; both say why on the next line, and the indicator is told.
    void uploadTxtNotKept_data()
    {
        QTest::addColumn<bool>("folderInTheWay");
        QTest::addColumn<QString>("text");
        QTest::newRow("cannot be created") << true << "Upload Failed....";
        QTest::newRow("cannot be written") << false << "Upload Failed...";
    }

    void uploadTxtNotKept()
    {
        QFETCH(bool, folderInTheWay);
        QFETCH(QString, text);
        if (!folderInTheWay && !test::FileSizeLimit::supported)
            QSKIP("no file size limit to fill the disk with");
        TransferFixture f;
        if (folderInTheWay)
            QVERIFY(QDir(f.dir.path()).mkdir("Upload.Txt"));
        std::optional<test::FileSizeLimit> full;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            f.reply(ACK);
            f.tick(110);
            f.device->takeWritten();
            if (!folderInTheWay) {
                full.emplace(64);
                QVERIFY(full->active());
            }
            f.reply(STX + kUploadOne + EOT);
            full.reset();
            QCOMPARE(f.device->takeWritten(), NAK);
        });
        const QStringList lines = f.host.transferLines;
        const qsizetype failed = lines.indexOf(text);
        QVERIFY2(failed > 0, qPrintable(lines.join('|')));
        QCOMPARE(lines.size(), failed + 2);
        QVERIFY2(lines.last().contains("Upload.Txt"), qPrintable(lines.last()));
        QVERIFY(!f.host.transferRunning);
        QCOMPARE(f.transfer().state(), TransferState::Idle);
        QVERIFY(!QFileInfo(QDir(f.dir.path()).filePath("Upload.Txt")).isFile());
    }

    void uploadFailures_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("last");
        QTest::newRow("no STX") << QByteArray(kUploadOne + EOT) << "Upload Failed.";
        QTest::newRow("a record short of its fields")
            << QByteArray(STX + "[CFG],1,2\r\n" + EOT) << "Upload Failed..";
        QTest::newRow("fewer records than the layout")
            << QByteArray(STX + kUploadOne.left(kUploadOne.indexOf("[PRN]")) + EOT)
            << "Upload Failed.. Error Parsing Data.";
        QTest::newRow("no end within 64 KiB") << QByteArray(STX + QByteArray(70000, 'x'))
                                              << "Upload Failed.";
    }
    void uploadFailures()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, last);
        TransferFixture f;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            f.reply(ACK);
            f.tick(110);
            f.device->takeWritten();
            for (qsizetype at = 0; at < sent.size(); at += 4000)
                f.reply(sent.mid(at, 4000));
            QCOMPARE(f.device->takeWritten(), NAK);
        });
        QCOMPARE(f.host.transferLines.last(), last);
        QCOMPARE(f.transfer().state(), TransferState::Idle);
    }

    // A stop asked for (a signal) before a write is seen by the write itself, even when the
    // event that would cancel the run has not been delivered yet: nothing more goes out.
    void aStopBeforeAWriteWinsOverTheStepDue_data()
    {
        QTest::addColumn<int>("stopAt"); // 0 before d, 1 before the data
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<TransferEnding>("ending");
        QTest::newRow("before d") << 0 << QByteArray() << TransferEnding::Cancelled;
        QTest::newRow("before the data") << 1 << QByteArray("d")
                                         << TransferEnding::CancelledAfterCommand;
    }
    void aStopBeforeAWriteWinsOverTheStepDue()
    {
        QFETCH(int, stopAt);
        QFETCH(QByteArray, sent);
        QFETCH(TransferEnding, ending);
        TransferFixture f;
        QVERIFY(f.openNewSettingsFile());
        bool stop = false;
        f.panel->setStopCheck([&] { return stop; });
        QByteArray written;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Download);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmode"));
            f.reply(ACK);
            f.tick(10);
            if (stopAt == 0)
                stop = true; // the command is due at the next tick
            f.tick(100);
            if (stopAt == 1) {
                f.reply("ready");
                stop = true; // the data is due at the next tick
            }
            f.tick(100);
            f.tick(5000);
            written = f.device->takeWritten();
        });
        QCOMPARE(written, sent);
        QCOMPARE(f.host.results.size(), 1);
        QCOMPARE(f.host.results.first().ending, ending);
        QVERIFY(!f.host.results.first().mayHoldNewSetup);
    }

    // A slow indicator answers the first entry request after the second went out: the
    // command waits for the second answer, or it would be taken for the command's own.
    void theCommandWaitsForEveryEntryRequestsAnswer()
    {
        TransferFixture f;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmode"));
            f.tick(1000);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmode"));
            f.tick(400);
            f.reply(ACK); // the first request's answer
            QCOMPARE(f.transfer().command(), 'u');
            f.tick(300);
            QVERIFY(f.device->takeWritten().isEmpty()); // the second's answer is still owed
            f.reply(ACK);
            f.tick(100);
            QCOMPARE(f.device->takeWritten(), QByteArray("u"));
        });
    }

    void completeDownload()
    {
        TransferFixture f;
        QVERIFY(f.openNewSettingsFile());
        f.host.inputs.tickedUnits = {"lb Units", "kg Units"};
        f.host.inputs.fieldBus = true;
        QByteArray data;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Download);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmode"));
            f.reply(ACK);
            f.tick(10);
            QCOMPARE(f.transfer().command(), 'd');
            f.tick(100);
            QCOMPARE(f.device->takeWritten(), QByteArray("d"));
            f.reply("ready");
            f.tick(100);
            data = f.device->takeWritten();
            f.reply(ACK);
        });
        QCOMPARE(f.host.transferLines,
                 (QStringList{"Initializing KX7400 Download... please wait. ",
                              "KX7400 Acknowledgment Received!", "Preparing download string...",
                              "Beginning download...", "KX7400 Ready Response Received!",
                              "Downloading Settings...", "KX7400 Acknowledgment Received!",
                              "Not verified: the setup was not read back.",
                              "Download complete!"}));
        const QByteArray records = readAll(QDir(f.dir.path()).filePath("Download.Txt"));
        QCOMPARE(data, STX + records + EOT);
        QVERIFY(records.startsWith("[CFG],1,2,1,1,0,0,0,0,\"Barrels\","));
        QVERIFY(records.endsWith("[TAD],14,05,09,03,21,06,\r\n"));
        QCOMPARE(records.count("\r\n"), 9);
    }

    void downloadEndings_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("refused") << NAK << QStringList{"KX7400 Abandoned Operation!"};
        QTest::newRow("aborted")
            << QByteArray("ready") << QStringList{"KX7400 Aborted Action!", "Download Failed!"};
    }
    void downloadEndings()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, tail);
        TransferFixture f;
        IniDocument doc;
        writeSettings(doc, newSettingsRecord());
        f.host.inputs.settings = {QDir(f.dir.path()).filePath("x.dat"), doc.toBytes()};
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Download);
            f.reply(ACK);
            f.tick(110);
            f.reply("ready");
            f.tick(100);
            f.reply(answer);
            f.tick(500);
        });
        QCOMPARE(f.host.transferLines.mid(f.host.transferLines.size() - tail.size()), tail);
        QVERIFY(!f.host.transferRunning);
    }

    // A download whose file holds what the records cannot carry sends nothing at all.
    void downloadThatCannotBeBuiltSendsNothing()
    {
        TransferFixture f;
        // Content no check passed: the builder is the last net and still sends nothing.
        f.host.inputs.settings = {QDir(f.dir.path()).filePath("bad.dat"),
                                  "[Configuration]\r\nCom1 Baud=42\r\n"};
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Download);
            f.reply(ACK);
            f.tick(1000);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmode"));
        });
        QCOMPARE(f.host.transferLines.mid(3),
                 (QStringList{"Unable to Write Configuration Data.",
                              "Com1 Baud=42 does not fit its one-digit field.",
                              "Operation Failed."}));
        QVERIFY(!QFile::exists(QDir(f.dir.path()).filePath("Download.Txt")));
    }

    // With a backup asked for, the indicator's setup is read and saved before anything is
    // sent to it; without a backup nothing is sent.
    void backupBeforeDownload_data()
    {
        QTest::addColumn<bool>("uploadRefused");
        QTest::newRow("backup taken, then the download") << false;
        QTest::newRow("backup refused: nothing sent") << true;
    }
    void backupBeforeDownload()
    {
        QFETCH(bool, uploadRefused);
        TransferFixture f;
        f.port.BackupBeforeWrite = true;
        IniDocument doc;
        writeSettings(doc, newSettingsRecord());
        f.host.inputs.settings = {QDir(f.dir.path()).filePath("x.dat"), doc.toBytes()};
        QByteArray sent;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Download);
            f.reply(ACK);
            f.tick(110);
            QCOMPARE(f.device->takeWritten(), QByteArray("pcmodeu"));
            // The file is replaced while the backup runs: what was checked still is what goes.
            QFile replaced(f.host.inputs.settings.path);
            QVERIFY(replaced.open(QIODevice::WriteOnly));
            replaced.write("[Calibration]\r\nScale Capacity=9999\r\n");
            replaced.close();
            if (uploadRefused) {
                f.reply(STX + kUploadOne.left(50) + EOT);
                f.tick(3000);
                sent = f.device->takeWritten();
                return;
            }
            f.reply(STX + kUploadOne + EOT);
            QCOMPARE(f.device->takeWritten(), ACK + "pcmode");
            f.reply(ACK);
            f.tick(110);
            f.reply("ready");
            f.tick(100);
            sent = f.device->takeWritten();
            f.reply(ACK);
        });
        const QDir backups(QDir(f.dir.path()).filePath("SAVED/BACKUP"));
        if (uploadRefused) {
            QCOMPARE(sent, NAK);
            QCOMPARE(f.host.transferLines.last(),
                     QString("The indicator's setup could not be read for a backup: nothing was "
                             "sent."));
            QVERIFY(backups.entryList(QDir::Files).isEmpty());
            return;
        }
        QVERIFY(sent.startsWith("d" + STX + "[CFG],"));
        QVERIFY(sent.contains("[CAL],5000,"));
        QCOMPARE(f.host.transferLines.last(), QString("Download complete!"));
        QCOMPARE(backups.entryList(QDir::Files), QStringList{"2006-03-21_14-05-09_port1.dat"});
        const QByteArray backup = readAll(backups.filePath("2006-03-21_14-05-09_port1.dat"));
        QVERIFY(backup.startsWith("[Configuration]\r\nTime=1\r\n"));
        QVERIFY(f.host.transferLines.contains(
            "Backup saved: " + QDir::toNativeSeparators(backups.filePath("2006-03-21_14-05-09_port1.dat"))));
    }

    // F3 with a backup asked for: the setup is read and saved first; without it, no update.
    void backupBeforeFirmwareUpdate_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::newRow("the indicator sends its setup") << true;
        QTest::newRow("the indicator is silent") << false;
    }
    void backupBeforeFirmwareUpdate()
    {
        QFETCH(bool, answers);
        TransferFixture f;
        f.port.BackupBeforeWrite = true;
        if (answers) {
            // The indicator's side, played on the clock while the backup waits.
            f.clock.startTimer(20, [&] { f.device->feed(ACK); });
            f.clock.startTimer(300, [&] { f.device->feed(STX + kUploadOne + EOT); });
        }
        f.panel->F3UpdateButtonClick();
        // The backup runs on the clock: F3 has returned before it ends.
        QCOMPARE(f.host.firmwareUpdates, 0);
        f.clock.advance(40000);
        const QDir backups(QDir(f.dir.path()).filePath("SAVED/BACKUP"));
        QCOMPARE(f.host.firmwareUpdates, answers ? 1 : 0);
        QCOMPARE(backups.entryList(QDir::Files).size(), answers ? 1 : 0);
        QCOMPARE(f.host.warnings.size(), answers ? 0 : 1);
        QCOMPARE(f.panel->lineOwner(), LineOwner::Polling);
        if (answers)
            QVERIFY(readAll(backups.filePath(backups.entryList(QDir::Files).first()))
                        .startsWith("[Configuration]\r\n"));
        else
            QVERIFY(f.host.warnings.first().startsWith("Backup Failed: "));
    }

    void entryWaitEndings_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("NAK during the wait") << "nak";
        QTest::newRow("Cancel during the wait") << "cancel";
        QTest::newRow("Cancel, then a late ACK") << "cancel-ack";
    }
    void entryWaitEndings()
    {
        QFETCH(QString, how);
        TransferFixture f;
        QByteArray after;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            f.device->takeWritten();
            f.tick(300);
            if (how == "nak") {
                f.reply(NAK);
            } else {
                f.panel->cancelTransfer();
                if (how == "cancel-ack")
                    f.reply(ACK);
            }
            f.tick(3000);
            after = f.device->takeWritten();
        });
        QVERIFY2(!after.contains('u') && !after.contains('d'), after.constData());
        QVERIFY(!f.transfer().waitingForEntry());
        if (how == "nak")
            QCOMPARE(f.host.transferLines.last(), QString("KX7400 Abandoned Operation!"));
    }

    // Nobody answers: the request goes out every 500 waits, 20 times in all, the spinner
    // turning; after the last wait (20 s) the run ends on its own line, with OK.
    void silentIndicator()
    {
        TransferFixture f;
        QStringList shown;
        QByteArray sent;
        bool runningAt19s = false;
        f.inEditor([&] {
            f.panel->startTransfer(TransferDirection::Upload);
            for (int i = 0; i < 25; ++i) {
                sent += f.device->takeWritten();
                if (i < 3)
                    shown << f.host.transferLines.last();
                if (i == 19)
                    runningAt19s = f.host.transferRunning;
                f.tick(1000);
            }
            sent += f.device->takeWritten();
        });
        QCOMPARE(sent, QByteArray("pcmode").repeated(20));
        QCOMPARE(shown, (QStringList{"Initializing KX7400 Upload... please wait. ",
                                     "Initializing KX7400 Upload... please wait. \\",
                                     "Initializing KX7400 Upload... please wait. /"}));
        QCOMPARE(f.host.transferLines,
                 (QStringList{"Initializing KX7400 Upload... please wait. \\",
                              "No answer from the KX7400."}));
        QVERIFY(runningAt19s);
        QVERIFY(!f.transfer().waitingForEntry());
        QVERIFY(!f.host.transferRunning);
    }

    void noPortSelected()
    {
        TransferFixture f;
        f.inEditor([&] {
            f.panel->link().ComPort().SetComNumber(0);
            f.panel->startTransfer(TransferDirection::Upload);
            f.tick(1000);
        });
        QCOMPARE(f.host.transferLines.last(), QString("No Communications Port Selected."));
        QVERIFY(!f.host.transferRunning);
    }
};

QTEST_GUILESS_MAIN(TransferControlTest)
#include "tst_transfercontrol.moc"
