// Upload and Download as a user drives them from the editor, against the simulator.
#include "EditorSteps.h"
#include "FakeDialogs.h"
#include "SimProcess.h"
#include "app/TMainForm.h"
#include "editor/CustomOutputPage.h"
#include "editor/TParameterForm.h"
#include "editor/TransferPanel.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include "TestFiles.h"
#include <QTimer>
#include <cmath>
#include <functional>

using namespace kx;
using kx::test::readAll;
using kx::test::startSimulator;

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

    void writePortIni(int customOutputs, bool demand = false)
    {
        QVERIFY(kx::test::writePortIni(
            dir.path(), link(),
            "[Scale Port]\r\nPort=1\r\nBaud=3\r\nMode=" + QByteArray(demand ? "1" : "0") +
                "\r\n[Advanced]\r\nVersion=0\r\nBackup Before Write=0\r\nCustom Outputs=" +
                QByteArray::number(customOutputs) + "\r\n"));
    }
    // What the simulator received, as its log shows it, in one piece.
    QByteArray simReceived() const
    {
        QByteArray all;
        for (const QByteArray& line : readAll(dir.filePath("sim.log")).split('\n')) {
            const qsizetype rx = line.indexOf(" RX ");
            if (rx >= 0)
                all += line.mid(rx + 4);
        }
        return all;
    }

    // demand: the program polls on demand (give the simulator "--mode demand" too), so the
    // indicator sends nothing of its own while the editor is open.
    void start(const QStringList& options, int customOutputs = 1, bool demand = false)
    {
        QFile::remove(dir.filePath("sim.log")); // each test reads its own exchange
        QVERIFY(startSimulator(sim, link(),
                               QStringList{"--load-every", "0", "--log", dir.filePath("sim.log")} +
                                   options));
        writePortIni(customOutputs, demand);
        QDir().mkpath(dir.filePath("SAVED"));
        form = std::make_unique<TMainForm>(dir.path(), QtClock::instance(),
                                           std::make_unique<QtSerialDevice>(), &dialogs);
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().connected(), 5000);
    }

    void withEditor(const std::function<void(TParameterForm&)>& steps)
    {
        test::withEditor(*form, steps);
    }
    static void click(TParameterForm& editor, const char* name)
    {
        auto* b = editor.findChild<QAbstractButton*>(QString::fromLatin1(name));
        QVERIFY2(b && b->isEnabled(), name);
        b->click();
    }
    static QStringList finished(TParameterForm& editor) { return test::transferFinished(editor); }
    static void pressOk(TParameterForm& editor) { editor.transferPanel()->TransferButton->click(); }
    // A key as the user presses it: to the widget with the focus in the editor.
    static void pressKey(TParameterForm& editor, Qt::Key key)
    {
        QWidget* focus = editor.focusWidget();
        QTest::keyClick(focus ? focus : &editor, key);
    }

    // Runs act on the next modal window of type T, from inside its own loop.
    template <typename T> void onModal(std::function<void(T*)> act)
    {
        QTimer::singleShot(20, this, [this, act] {
            if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()))
                act(w);
            else
                onModal<T>(act);
        });
    }
    // No line of the status box is cut at its edges, and its last line is in view.
    static bool wholeLinesInView(QTextEdit* box, QString* cut)
    {
        const int top = box->verticalScrollBar()->value();
        const int bottom = top + box->viewport()->height();
        bool lastSeen = false;
        for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
            const qreal blockTop = box->document()->documentLayout()->blockBoundingRect(b).top();
            for (int i = 0; i < b.layout()->lineCount(); ++i) {
                const QTextLine line = b.layout()->lineAt(i);
                const int y0 = static_cast<int>(blockTop + line.y());
                const int y1 = static_cast<int>(std::ceil(blockTop + line.y() + line.height()));
                const bool inside = y0 >= top && y1 <= bottom;
                if (!inside && y1 > top && y0 < bottom) {
                    *cut = b.text();
                    return false;
                }
                lastSeen = inside;
            }
        }
        if (!lastSeen)
            *cut = QStringLiteral("the last line is out of view");
        return lastSeen;
    }

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
            QCOMPARE(lines.mid(1),
                     (QStringList{"KX7400 Acknowledgment Received!", "Beginning upload...",
                                  "Uploading Settings...", "Upload Complete!"}));
            QVERIFY(lines[0].startsWith("Initializing KX7400 Upload... please wait. "));
            dialogs.savePaths.enqueue(saved("first.dat"));
            pressOk(editor);
            QVERIFY(QFile::exists(saved("first.dat")));
            QCOMPARE(editor.document().currentFileName(), saved("first.dat"));

            dialogs.answers.enqueue(Answer::Yes); // "Existing KX7400 settings will be lost?"
            click(editor, "FileDownload");
            lines = finished(editor);
            QCOMPARE(lines.mid(1),
                     (QStringList{"KX7400 Acknowledgment Received!", "Preparing download string...",
                                  "Beginning download...", "KX7400 Ready Response Received!",
                                  "Downloading Settings...", "KX7400 Acknowledgment Received!",
                                  "Reading the setup back to verify it...",
                                  "Initializing KX7400 Upload... please wait. ",
                                  "KX7400 Acknowledgment Received!", "Beginning upload...",
                                  "Uploading Settings...", lines.value(12), "Download complete!"}));
            // Read back, every setting the download carried is held as sent.
            QVERIFY2(QRegularExpression("^Verified: the KX7400 holds all \\d+ settings sent\\.$")
                         .match(lines.value(12))
                         .hasMatch(),
                     qPrintable(lines.value(12)));
            // Fourteen lines, more than the panel was made for: none of them is cut.
            QString cut;
            QVERIFY2(wholeLinesInView(editor.transferPanel()->TransferStatus, &cut),
                     qPrintable(cut));
            QVERIFY(editor.rect().contains(editor.transferPanel()->geometry()));
            // Enter closes the ended panel as its OK does.
            pressKey(editor, Qt::Key_Return);
            QVERIFY(!editor.transferPanel()->isVisible());
            QVERIFY(editor.BackPanel->isEnabled());

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
    // A first upload in a fresh program folder, with the real file dialogs: the file goes
    // into SAVED, where Open looks, under the name the user types.
    void firstUploadLandsWhereOpenLooks()
    {
        QFile::remove(dir.filePath("sim.log"));
        QDir(dir.filePath("SAVED")).removeRecursively();
        QVERIFY(startSimulator(sim, link(), {"--load-every", "0"}));
        writePortIni(1);
        form = std::make_unique<TMainForm>(dir.path(), QtClock::instance(),
                                           std::make_unique<QtSerialDevice>());
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().connected(), 5000);
        const QString savedFolder = QDir(dir.filePath("SAVED")).absolutePath();
        QString startedIn, prefilled, listed;
        withEditor([&](TParameterForm& editor) {
            click(editor, "FileUpload");
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            onModal<QFileDialog>([&](QFileDialog* d) {
                startedIn = d->directory().absolutePath();
                auto* name = d->findChild<QLineEdit*>("fileNameEdit");
                prefilled = name->text();
                name->selectAll();
                QTest::keyClicks(name, "first");
                QTest::keyClick(name, Qt::Key_Return);
            });
            pressKey(editor, Qt::Key_Return); // the panel's OK
            QCOMPARE(editor.document().currentFileName(),
                     QDir::toNativeSeparators(QDir(savedFolder).filePath("first.DAT")));

            onModal<QFileDialog>([&](QFileDialog* d) {
                startedIn += '|' + d->directory().absolutePath();
                auto* view = d->findChild<QAbstractItemView*>("listView");
                QVERIFY(QTest::qWaitFor(
                    [&] { return view->model()->rowCount(view->rootIndex()) > 0; }, 5000));
                for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                    listed += view->model()->index(r, 0, view->rootIndex()).data().toString();
                d->reject();
            });
            click(editor, "FileOpen");
        });
        QCOMPARE(startedIn, savedFolder + '|' + savedFolder);
        QCOMPARE(prefilled, QString());
        QVERIFY(QFile::exists(QDir(savedFolder).filePath("first.DAT")));
        QVERIFY2(listed.contains("first.DAT"), qPrintable(listed));
        QVERIFY(!QFile::exists(dir.filePath("SAVED.DAT")));
    }

    // An indicator with one custom output read with "Custom Outputs" at 2: the upload says
    // how many records came and where to look, and the download the indicator then refuses
    // names that as the likely cause.
    void recordCountOtherThanCustomOutputsExpect()
    {
        start({}, 2);
        withEditor([&](TParameterForm& editor) {
            click(editor, "FileUpload");
            QStringList lines = finished(editor);
            const QString count = "9 records received, 11 expected: check Custom Outputs in the "
                                  "port settings (F2)";
            QVERIFY2(lines.contains(count), qPrintable(lines.join('\n')));
            QCOMPARE(lines.last(), QString("Upload Complete!"));
            dialogs.savePaths.enqueue(saved("one.dat"));
            pressOk(editor);

            dialogs.answers.enqueue(Answer::Yes); // "Existing KX7400 settings will be lost?"
            click(editor, "FileDownload");
            lines = finished(editor);
            QVERIFY2(lines.contains("Likely cause: the last upload had " + count),
                     qPrintable(lines.join('\n')));
            QCOMPARE(lines.last(), QString("KX7400 Abandoned Operation!"));
        });
    }

    void debugMonitorShowsTheIndicatorsLine()
    {
        // Continuous: weight frames keep coming between the answers.
        start({});
        withEditor([&](TParameterForm& editor) {
            auto* button = editor.findChild<QAbstractButton*>("DebugAnyBus");
            auto* line = editor.findChild<QLineEdit*>("DebugList");
            QVERIFY(button && line);
            button->click();
            QCOMPARE(button->text(), QString("STOP DEBUG"));
            // The monitor keeps asking: under a sanitizer's load a first answer may come past
            // its reply time ("<<No Response>>"), and the next one shows.
            QTRY_VERIFY2_WITH_TIMEOUT(line->text().startsWith("FB node=1 seq="),
                                      qPrintable(line->text()), 15000);
            // The answer alone, up to its CR, and the text can be copied from the list.
            QVERIFY(!line->text().contains('\r'));
            QVERIFY(line->isEnabled() && line->isReadOnly());
            line->setFocus();
            line->selectAll();
            line->copy();
            QCOMPARE(QGuiApplication::clipboard()->text(), line->text());
            button->click();
            QCOMPARE(button->text(), QString("START DEBUG"));
            QCOMPARE(form->panel().lineOwner(), LineOwner::SettingsTransfer);
        });
    }

    // A custom name with a comma goes to the indicator in its quotes, the indicator takes it,
    // and it comes back the same on the next upload.
    void customNameWithACommaComesBackTheSame()
    {
        start({});
        withEditor([&](TParameterForm& editor) {
            editor.PageControl->setCurrentIndex(0);
            auto* custom = editor.findChild<QAbstractButton*>("RadioCustom");
            QVERIFY(custom);
            if (!custom->isChecked())
                custom->click();
            auto* name = editor.findChild<QLineEdit*>("CustomName");
            QVERIFY(name && name->isEnabled());
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, "Smith, J");
            QCOMPARE(name->text(), QString("Smith, J"));
            dialogs.savePaths.enqueue(saved("smith.dat"));
            click(editor, "FileSaveAs");

            dialogs.answers.enqueue(Answer::Yes); // "Existing KX7400 settings will be lost?"
            click(editor, "FileDownload");
            QCOMPARE(finished(editor).last(), QString("Download complete!"));
            pressOk(editor);
            click(editor, "FileUpload");
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            dialogs.savePaths.enqueue(saved("back.dat"));
            pressOk(editor);
            QCOMPARE(name->text(), QString("Smith, J"));
        });
        QVERIFY(simReceived().contains("\"Smith, J\","));
        QVERIFY(readAll(saved("back.dat")).contains("Custom Name=Smith, J\r\n"));
        QVERIFY(readAll(dir.filePath("Upload.Txt")).contains("\"Smith, J\","));
    }

    // Port.Ini changed while the program runs: the editor reads it when it is shown, and the
    // download carries the second output's records exactly when the editor offers COM2.
    void secondOutputFollowsTheEditor_data()
    {
        QTest::addColumn<int>("atStart");
        QTest::addColumn<int>("changedTo");
        QTest::newRow("two outputs from now on") << 1 << 2;
        QTest::newRow("one output from now on") << 2 << 1;
    }
    void secondOutputFollowsTheEditor()
    {
        QFETCH(int, atStart);
        QFETCH(int, changedTo);
        start({"--outputs", QString::number(changedTo)}, atStart);
        writePortIni(changedTo);
        withEditor([&](TParameterForm& editor) {
            auto* selector = editor.findChild<QWidget*>("ComBox");
            QVERIFY(selector);
            QCOMPARE(selector->isVisibleTo(editor.CustomTab), changedTo == 2);
            dialogs.savePaths.enqueue(saved("two.dat"));
            click(editor, "FileSaveAs");
            dialogs.answers.enqueue(Answer::Yes);
            click(editor, "FileDownload");
            QCOMPARE(finished(editor).last(), QString("Download complete!"));
            pressOk(editor);
        });
        const QByteArray received = simReceived();
        QVERIFY(received.contains("[CFM],"));
        QCOMPARE(received.contains("[CS2],"), changedTo == 2);
        QCOMPARE(received.contains("[CF2],"), changedTo == 2);
    }

    // Download with the debug monitor running: the monitor is stopped before the editor asks
    // its first question.
    void debugMonitorStopsBeforeTheDownloadsQuestions()
    {
        start({"--mode", "demand"}, 1, true);
        withEditor([&](TParameterForm& editor) {
            dialogs.savePaths.enqueue(saved("d.dat"));
            click(editor, "FileSaveAs");
            auto* button = editor.findChild<QAbstractButton*>("DebugAnyBus");
            button->click();
            QCOMPARE(form->panel().lineOwner(), LineOwner::DebugMonitor);
            auto* list = editor.findChild<QLineEdit*>("DebugList");
            QTRY_VERIFY_WITH_TIMEOUT(list->text().startsWith("FB node=1"), 5000);

            QString captionAsked;
            LineOwner ownerAsked = LineOwner::DebugMonitor;
            dialogs.onAsk = [&](const BoxMessage&) {
                captionAsked = button->text();
                ownerAsked = form->panel().lineOwner();
            };
            dialogs.answers.enqueue(Answer::No); // "Existing KX7400 settings will be lost?"
            click(editor, "FileDownload");
            QCOMPARE(dialogs.asked.size(), 1);
            QCOMPARE(captionAsked, QString("START DEBUG"));
            QCOMPARE(ownerAsked, LineOwner::SettingsTransfer);
            QVERIFY(!editor.transferPanel()->isVisible());
            dialogs.onAsk = nullptr;
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

    void notASettingsFileIsNotSent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("emptied") << QByteArray() << "the file is empty";
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "binary data";
        QTest::newRow("only a section header")
            << QByteArray("[Configuration]\r\n") << "no setting of a settings file";
    }
    // The file open in the editor has become something else on disk: Download says which
    // file and why in a message box, asks nothing, and the indicator hears nothing.
    void notASettingsFileIsNotSent()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        start({});
        qsizetype logged = 0; // the log runs on from the cases before
        withEditor([&](TParameterForm& editor) {
            dialogs.savePaths.enqueue(saved("new.dat"));
            click(editor, "FileSaveAs");
            QVERIFY(kx::test::writeAll(saved("new.dat"), bytes));
            logged = readAll(dir.filePath("sim.log")).size();
            click(editor, "FileDownload");
            QCOMPARE(dialogs.asked.size(), 0);
            QCOMPARE(dialogs.told.size(), 1);
            QVERIFY2(
                dialogs.told[0].text.startsWith(QDir::toNativeSeparators(saved("new.dat")) + ": "),
                qPrintable(dialogs.told[0].text));
            QVERIFY2(dialogs.told[0].text.contains(reason), qPrintable(dialogs.told[0].text));
        });
        QTest::qWait(300);
        QVERIFY(!readAll(dir.filePath("sim.log")).mid(logged).contains("pcmode"));
        QCOMPARE(readAll(saved("new.dat")), bytes);
    }
};

QTEST_MAIN(TransferSimTest)
#include "tst_transfer_sim.moc"
