// Upload and Download as a user drives them from the editor, against the simulator.
#include "FakeDialogs.h"
#include "app/TMainForm.h"
#include "editor/TParameterForm.h"
#include "editor/TransferPanel.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"
#include <QTimer>
#include <functional>

using namespace kx;
using kx::test::readAll;

namespace {
} // namespace

class TransferSimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sim;
    FakeDialogs dialogs;
    std::unique_ptr<TMainForm> form;

    QString link() const { return dir.filePath("ttyKX7400"); }
    QString saved(const QString& name) const { return QDir(dir.filePath("SAVED")).filePath(name); }

    void start(const QStringList& options)
    {
        sim.setProgram(QStringLiteral(KX_SIM_PATH));
        sim.setArguments(QStringList{"--link", link(), "--load-every", "0", "--log",
                                     dir.filePath("sim.log")}
                         + options);
        sim.start();
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link()), 5000);
        QFile ini(dir.filePath("Port.Ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Scale Port]\r\nPort=1\r\nBaud=3\r\nMode=0\r\n[Advanced]\r\nVersion=0\r\n"
                  "Custom Outputs=1\r\n[Devices]\r\n1=" + link().toLocal8Bit() + "\r\n");
        ini.close();
        QDir().mkpath(dir.filePath("SAVED"));
        form = std::make_unique<TMainForm>(dir.path(), QtClock::instance(),
                                           std::make_unique<QtSerialDevice>(), &dialogs);
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().connected(), 5000);
    }

    // Presses F4 and runs steps while the editor is open.
    void withEditor(const std::function<void(TParameterForm&)>& steps)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            TParameterForm* editor = form->ParameterForm();
            steps(*editor);
            ran = true;
            if (editor->isVisible())
                editor->done(0);
        });
        QTest::keyClick(form.get(), Qt::Key_F4);
        QVERIFY(ran);
    }
    static void click(TParameterForm& editor, const char* name)
    {
        auto* b = editor.findChild<QAbstractButton*>(QString::fromLatin1(name));
        QVERIFY2(b && b->isEnabled(), name);
        b->click();
    }
    // Waits for the transfer to end on its panel; the panel's lines then.
    static QStringList finished(TParameterForm& editor)
    {
        TransferPanel* panel = editor.transferPanel();
        // Every run ends within its own time-outs (the longest wait is the 20 s entry wait).
        if (!QTest::qWaitFor(
                [&] { return panel->buttonMode() == TransferPanel::ButtonMode::Ok; }, 25000))
            QTest::qFail("the transfer did not end", __FILE__, __LINE__);
        return panel->lines();
    }
    static void pressOk(TParameterForm& editor) { editor.transferPanel()->TransferButton->click(); }

private slots:
    void cleanup()
    {
        form.reset();
        sim.terminate();
        sim.waitForFinished(10000);
        dialogs = FakeDialogs();
    }

    // The whole round: read the indicator's setup into a file, send that file back, and
    // read it again: the same file.
    void uploadSaveDownloadAndUploadAgain()
    {
        start({});
        withEditor([&](TParameterForm& editor) {
            click(editor, "FileUpload");
            QStringList lines = finished(editor);
            QCOMPARE(lines.mid(1), (QStringList{"KX7400 Acknowledgment Received!",
                                                "Beginning upload...", "Uploading Settings...",
                                                "Upload Complete!"}));
            QVERIFY(lines[0].startsWith("Initializing KX7400 Upload... please wait. "));
            dialogs.savePaths.enqueue(saved("first.dat"));
            pressOk(editor);
            QVERIFY(QFile::exists(saved("first.dat")));
            QCOMPARE(editor.document().currentFileName(), saved("first.dat"));

            dialogs.answers.enqueue(Answer::Yes); // "Existing KX7400 settings will be lost?"
            click(editor, "FileDownload");
            lines = finished(editor);
            QCOMPARE(lines.mid(1), (QStringList{"KX7400 Acknowledgment Received!",
                                                "Preparing download string...",
                                                "Beginning download...",
                                                "KX7400 Ready Response Received!",
                                                "Downloading Settings...",
                                                "KX7400 Acknowledgment Received!",
                                                "Download complete!"}));
            pressOk(editor);

            click(editor, "FileUpload");
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            dialogs.savePaths.enqueue(saved("second.dat"));
            pressOk(editor);
        });
        QCOMPARE(readAll(saved("second.dat")), readAll(saved("first.dat")));
        QVERIFY(readAll(saved("first.dat")).contains("[Custom Output]"));
        const QByteArray sent = readAll(dir.filePath("Download.Txt"));
        QVERIFY(sent.startsWith("[CFG],"));
        QCOMPARE(sent.count("\r\n"), 9);
        // Back to polling once the editor closes.
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().faceState().Weight != "------", 5000);
    }

    // "START DEBUG" asks the indicator for its field-bus line and shows each answer but the
    // first, until it is stopped.
    void debugMonitorShowsTheIndicatorsLine()
    {
        start({});
        withEditor([&](TParameterForm& editor) {
            auto* button = editor.findChild<QAbstractButton*>("DebugAnyBus");
            auto* line = editor.findChild<QLineEdit*>("DebugList");
            QVERIFY(button && line);
            button->click();
            QCOMPARE(button->text(), QString("STOP DEBUG"));
            QTRY_VERIFY_WITH_TIMEOUT(!line->text().isEmpty(), 5000);
            QVERIFY(line->text() != "<<No Response>>");
            button->click();
            QCOMPARE(button->text(), QString("START DEBUG"));
            QCOMPARE(form->panel().lineOwner(), LineOwner::SettingsTransfer);
        });
    }

    // Cancel once the indicator has been told d: no record goes out, even when its "ready"
    // comes after, and the panel says what state the indicator is left in.
    void cancelAfterTheAckOfADownload()
    {
        start({"--delay-ms", "700"});
        // The simulator's log goes on from the earlier tests.
        const qsizetype logFrom = readAll(dir.filePath("sim.log")).size();
        withEditor([&](TParameterForm& editor) {
            dialogs.savePaths.enqueue(saved("new.dat"));
            click(editor, "FileSaveAs");
            dialogs.answers.enqueue(Answer::Yes);
            click(editor, "FileDownload");
            TransferPanel* panel = editor.transferPanel();
            QVERIFY(QTest::qWaitFor(
                [&] { return panel->lines().contains("Beginning download..."); }, 10000));
            QCOMPARE(panel->TransferButton->text(), QString("Cancel"));
            panel->TransferButton->click();
            // The indicator's late "ready" comes and goes.
            QTest::qWait(1500);
            QCOMPARE(panel->lines().mid(panel->lines().size() - 2),
                     (QStringList{"Action Cancelled", "Download cancelled: the indicator may be "
                                                      "waiting; its setup was not changed"}));
            QCOMPARE(panel->TransferButton->text(), QString("OK"));
            pressOk(editor);
        });
        const QByteArray log = readAll(dir.filePath("sim.log")).mid(logFrom);
        QVERIFY(log.contains("-- download"));
        QVERIFY(!log.contains("<STX>"));
        QVERIFY(!log.contains("download: accepted"));
    }

    void downloadEndings_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("refused") << QStringList{} << "nak-next"
                                 << QStringList{"KX7400 Abandoned Operation!"};
        QTest::newRow("aborted") << QStringList{"--abort-downloads"} << ""
                                 << QStringList{"KX7400 Aborted Action!", "Download Failed!"};
    }
    void downloadEndings()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, script);
        QFETCH(QStringList, tail);
        start(options);
        withEditor([&](TParameterForm& editor) {
            dialogs.savePaths.enqueue(saved("new.dat"));
            click(editor, "FileSaveAs");
            if (!script.isEmpty())
                sim.write(script.toLatin1() + "\n");
            dialogs.answers.enqueue(Answer::Yes);
            click(editor, "FileDownload");
            const QStringList lines = finished(editor);
            QCOMPARE(lines.mid(lines.size() - tail.size()), tail);
            pressOk(editor);
        });
    }
};

QTEST_MAIN(TransferSimTest)
#include "tst_transfer_sim.moc"
