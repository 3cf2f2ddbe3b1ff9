// The editor's "Compare with KX7400…" and "Send checked", as a user drives them with the
// keyboard, against the simulator: what differs is shown, and only what is checked is sent.
#include "EditorSteps.h"
#include "FakeDialogs.h"
#include "SimProcess.h"
#include "app/TMainForm.h"
#include "editor/CompareModel.h"
#include "editor/CompareWindow.h"
#include "editor/TParameterForm.h"
#include "editor/TransferPanel.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"
#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/Logbook.h"
#include "settings/SettingCaptions.h"
#include "settings/SettingsDiff.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "TestFiles.h"
#include <functional>

using namespace kx;
using kx::test::startSimulator;
using kx::test::writePortIni;
using kx::test::readAll;

namespace {

// The three settings the file changes, as the indicator's setup is read first.
const struct
{
    const char* section;
    const char* key;
    const char* control;
} kChanged[] = {{"Configuration", "Time", "TimeEdit"},
                {"Configuration", "Display Rate", "DisplayRate"},
                {"Calibration", "Scale Capacity", "ScaleCapacity"}};

SettingsRecord recordOf(const QByteArray& text)
{
    return readSettings(IniDocument::fromBytes(text));
}

QString shown(const char* control, const SettingsRecord& r)
{
    for (const SettingDesc& d : settingsTable())
        if (QByteArrayView(d.control) == QByteArrayView(control))
            return shownValue(d, r);
    return {};
}

} // namespace

class CompareSimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sim;
    FakeDialogs dialogs;
    std::unique_ptr<TMainForm> form;

    QString link() const { return dir.filePath("ttyKX7400"); }
    QString saved(const QString& name) const { return QDir(dir.filePath("SAVED")).filePath(name); }
    int uploadsSeen() const
    {
        int n = 0;
        for (const QByteArray& line : readAll(dir.filePath("sim.log")).split('\n'))
            n += line.endsWith(" -- upload") ? 1 : 0;
        return n;
    }

    void withEditor(const std::function<void(TParameterForm&)>& steps)
    {
        test::withEditor(*form, steps);
    }
    static QStringList finished(TParameterForm& editor) { return test::transferFinished(editor); }
    // Opens "Compare" with the keyboard and picks an item by its underlined letter.
    static void chooseCompare(TParameterForm& editor, Qt::Key item)
    {
        bool picked = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                poll.stop();
                QTest::keyClick(menu, item);
                picked = true;
            }
        });
        poll.start();
        editor.FileCompare->setFocus();
        QTest::keyClick(editor.FileCompare, Qt::Key_Space);
        QVERIFY(picked);
    }
    static void tabTo(QWidget* target)
    {
        for (int i = 0; i < 8 && QApplication::focusWidget() != target; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), target);
    }
    // The rows of the window as a screen reader reads them: each cell's accessible name.
    static QStringList readAloud(QTableView* table)
    {
        QStringList rows;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(table);
        QAccessibleTableInterface* t = a ? a->tableInterface() : nullptr;
        if (!t)
            return {QStringLiteral("(no accessible table)")};
        for (int r = 0; r < t->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < t->columnCount(); ++c) {
                QAccessibleInterface* cell = t->cellAt(r, c);
                cells << (cell ? cell->text(QAccessible::Name) : QStringLiteral("?"));
            }
            rows << cells.join(QStringLiteral(" | "));
        }
        return rows;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(startSimulator(sim, link(),
                               {"--load-every", "0", "--log", dir.filePath("sim.log")}));
        QVERIFY(writePortIni(dir.path(), link(),
                             "[Scale Port]\r\nPort=1\r\nBaud=3\r\nMode=0\r\n[Advanced]\r\n"
                             "Version=0\r\nCustom Outputs=1\r\nBackup Before Write=1\r\n"));
        QDir().mkpath(dir.filePath("SAVED"));
        form = std::make_unique<TMainForm>(dir.path(), QtClock::instance(),
                                           std::make_unique<QtSerialDevice>(), &dialogs);
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->panel().connected(), 5000);
    }
    void cleanupTestCase()
    {
        if (qEnvironmentVariableIsSet("KX_KEEP_TEST_DIR")) {
            dir.setAutoRemove(false);
            qInfo("kept %s", qPrintable(dir.path()));
        }
        form.reset();
        sim.terminate();
        sim.waitForFinished(10000);
    }

    // A file three settings away from the indicator: three rows with both values; one is
    // unchecked with the keyboard, "Send checked" sends the other two, verified, and the
    // unchecked one stays as the indicator had it. The logbook says so.
    void threeDifferTwoSent()
    {
        withEditor([&](TParameterForm& editor) {
            // The indicator's setup as a file, then three of its settings changed in it.
            editor.FileUpload->click();
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            dialogs.savePaths.enqueue(saved("indicator.dat"));
            editor.transferPanel()->TransferButton->click();
            IniDocument file;
            QVERIFY(file.load(saved("indicator.dat")));
            const SettingsRecord before = recordOf(file.toBytes());
            file.writeString("Configuration", "Time", before.index("TimeEdit") == 0 ? "1" : "0");
            file.writeString("Configuration", "Display Rate",
                             before.index("DisplayRate") == 0 ? "2" : "0");
            file.writeString("Calibration", "Scale Capacity",
                             before.value("ScaleCapacity") == "6000" ? "7000" : "6000");
            QVERIFY(file.save(saved("three.dat")));
            const SettingsRecord three = recordOf(file.toBytes());
            dialogs.openPaths.enqueue(saved("three.dat"));
            editor.FileOpen->click();
            QCOMPARE(editor.document().currentFileName(), saved("three.dat"));

            const int uploadsBefore = 1; // the read saved as indicator.dat
            const QStringList backupsBefore =
                QDir(saved("BACKUP")).entryList(QDir::Files | QDir::NoDotAndDotDot);
            QVERIFY(QFile::remove(dir.filePath("Upload.Txt")));
            chooseCompare(editor, Qt::Key_K);
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            QTRY_VERIFY_WITH_TIMEOUT(editor.compareWindow() && editor.compareWindow()->isVisible(),
                                     5000);
            // Read into memory: no file for it.
            QVERIFY(!QFile::exists(dir.filePath("Upload.Txt")));
            CompareWindow* window = editor.compareWindow();
            // The open document is not touched by the read.
            QCOMPARE(editor.document().currentFileName(), saved("three.dat"));
            QVERIFY(!editor.changed());
            QCOMPARE(window->countLabel()->text(),
                     QString("3 settings differ between the editor and the KX7400."));

            // Every cell read as shown: the list choices by their text.
            QStringList expected;
            for (const auto& c : kChanged) {
                const SettingPlace place =
                    settingPlace(QString::fromLatin1(c.section), QString::fromLatin1(c.key));
                expected << QStringLiteral("send | %1 | %2 | %3 | %4")
                                .arg(place.page, place.caption, shown(c.control, three),
                                     shown(c.control, before));
            }
            QStringList read = readAloud(window->table());
            QCOMPARE(read, expected);
            QVERIFY(read[0].contains("12hr AM/PM") || read[0].contains("24 hour"));

            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            // The Time row (the first): selected and unchecked with the keyboard.
            window->table()->setFocus();
            QTest::keyClick(window->table(), Qt::Key_Home);
            QCOMPARE(window->table()->currentIndex().row(), 0);
            QTest::keyClick(window->table(), Qt::Key_Space);
            QCOMPARE(window->model()->comparison().chosenCount(), 2);
            QCOMPARE(readAloud(window->table())[0].section(" | ", 0, 0),
                     QString("keep the KX7400's"));

            // "Show all settings" adds the equal ones, without check boxes; off again, three.
            window->table()->setFocus();
            tabTo(window->showAllBox());
            QTest::keyClick(window->showAllBox(), Qt::Key_Space);
            QVERIFY(window->model()->rowCount() > 30);
            QTest::keyClick(window->showAllBox(), Qt::Key_Space);
            QCOMPARE(window->model()->rowCount(), 3);
            QCOMPARE(window->model()->comparison().chosenCount(), 2);

            tabTo(window->sendButton());
            QTest::keyClick(window->sendButton(), Qt::Key_Space);
            QTRY_VERIFY_WITH_TIMEOUT(window->resultLabel()->text().startsWith("Sent"), 30000);
            QCOMPARE(window->resultLabel()->text(),
                     QString("Sent and verified: 2 settings changed; the KX7400 holds every "
                             "setting as sent."));
            QVERIFY(!window->sendButton()->isEnabled());
            // The table now shows the indicator as the verify read it: the two sent are equal,
            // only the unchecked Time still differs.
            QCOMPARE(window->countLabel()->text(),
                     QString("1 setting differs between the editor and the KX7400."));
            QCOMPARE(window->model()->rowCount(), 1);
            QStringList row;
            for (int c = CompareModel::Page; c < CompareModel::ColumnCount; ++c)
                row << window->model()->index(0, c).data().toString();
            QCOMPARE(row.join(" | "), expected[0].section(" | ", 1));
            // KX_KEEP_TEST_DIR=1 keeps the folder (logbook, backups, this picture) to look at.
            if (qEnvironmentVariableIsSet("KX_KEEP_TEST_DIR"))
                window->grab().save(dir.filePath("compare-sent.png"));
            QVERIFY2(QFile::exists(logbook::pathIn(dir.path())),
                     qPrintable(editor.transferPanel()->lines().join('\n')));
            // The backup is the setup just read, kept once; it was not read a second time
            // (one read to compare, one to verify).
            // (The simulator's log reaches its file in its own time.)
            QTRY_COMPARE(uploadsSeen(), uploadsBefore + 2);
            const QStringList backups =
                QDir(saved("BACKUP")).entryList(QDir::Files | QDir::NoDotAndDotDot);
            QCOMPARE(backups.size(), backupsBefore.size() + 1);
            QTest::keyClick(window, Qt::Key_Escape);
            QTRY_VERIFY(!editor.compareWindow());
            editor.transferPanel()->TransferButton->click();

            // Read again: the two checked arrived, the unchecked one is as it was.
            editor.FileUpload->click();
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            const SettingsRecord after = recordOf(linesText(form->panel().uploadLines()));
            editor.transferPanel()->TransferButton->click(); // no save path: nothing kept
            QCOMPARE(shown("TimeEdit", after), shown("TimeEdit", before));
            QCOMPARE(shown("DisplayRate", after), shown("DisplayRate", three));
            QCOMPARE(shown("ScaleCapacity", after), shown("ScaleCapacity", three));
        });

        const QByteArray book = readAll(logbook::pathIn(dir.path()));
        QString why;
        QVERIFY2(logbook::firstBadLine(book, &why) == 0, qPrintable(why + "\n" + book));
        const QList<logbook::Line> lines = logbook::parse(book);
        QVERIFY(!lines.isEmpty() && lines.last().entry);
        const LogbookEntry& e = *lines.last().entry;
        QCOMPARE(e.action, QString("partial download"));
        QVERIFY2(e.file.startsWith(QDir::toNativeSeparators(saved("three.dat"))),
                 qPrintable(e.file));
        QCOMPARE(e.verify, QString("verified"));
        QVERIFY(e.backup.contains("BACKUP"));
        QStringList changed;
        for (const LogbookEntry::Change& c : e.changes)
            changed << c.key;
        QCOMPARE(changed,
                 (QStringList{"Configuration/Display Rate", "Calibration/Scale Capacity"}));
    }

    // Cancel while the setup is read: the read ends at once as cancelled and no window opens.
    void cancelDuringTheRead()
    {
        withEditor([&](TParameterForm& editor) {
            dialogs.openPaths.enqueue(saved("three.dat"));
            editor.FileOpen->click();
            chooseCompare(editor, Qt::Key_K);
            QVERIFY(editor.transferPanel()->isVisible());
            QTest::keyClick(&editor, Qt::Key_Escape);
            QCOMPARE(editor.transferPanel()->buttonMode(), TransferPanel::ButtonMode::Ok);
            QTest::qWait(300);
            QVERIFY(!editor.compareWindow());
            editor.transferPanel()->TransferButton->click();
        });
    }

    // How "Send checked" ended, said in the window: refused after the data went out (a
    // logbook line), or cancelled with Esc before the indicator was told anything (nothing
    // sent, no line).
    void sendSaysHowItEnded_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("logbookLines");
        QTest::newRow("refused after the data")
            << QByteArray("abort-next\n") << false << "refused: " << 1;
        QTest::newRow("cancelled at once")
            << QByteArray() << true << "Cancelled: nothing was sent." << 0;
    }
    void sendSaysHowItEnded()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, cancel);
        QFETCH(QString, said);
        QFETCH(int, logbookLines);
        const auto linesInLogbook = [&] {
            return logbook::parse(readAll(logbook::pathIn(dir.path()))).size();
        };
        const qsizetype before = linesInLogbook();
        withEditor([&](TParameterForm& editor) {
            dialogs.openPaths.enqueue(saved("three.dat"));
            editor.FileOpen->click();
            chooseCompare(editor, Qt::Key_K);
            QCOMPARE(finished(editor).last(), QString("Upload Complete!"));
            QTRY_VERIFY(editor.compareWindow() && editor.compareWindow()->isVisible());
            CompareWindow* window = editor.compareWindow();
            QVERIFY(window->model()->comparison().differing() > 0);
            if (!script.isEmpty())
                sim.write(script);
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            window->table()->setFocus();
            tabTo(window->sendButton());
            QTest::keyClick(window->sendButton(), Qt::Key_Space);
            if (cancel) {
                QVERIFY(window->cancelButton()->isEnabled());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!window->resultLabel()->text().startsWith("Sending"), 15000);
            QVERIFY2(window->resultLabel()->text().startsWith(said),
                     qPrintable(window->resultLabel()->text()));
            QVERIFY(window->isVisible()); // Esc while sending cancels, it does not close
            QVERIFY(!window->cancelButton()->isEnabled());
            // The editor's panel has ended the run too, ready for OK.
            QCOMPARE(editor.transferPanel()->buttonMode(), TransferPanel::ButtonMode::Ok);
            window->close();
            editor.transferPanel()->TransferButton->click();
            QVERIFY(editor.FileCompare->isEnabled());
        });
        QCOMPARE(linesInLogbook() - before, logbookLines);
        QString why;
        QCOMPARE(logbook::firstBadLine(readAll(logbook::pathIn(dir.path())), &why), 0);
    }

    // "Compare with file…": the editor against a chosen file, read through the same check;
    // nothing to send.
    void compareWithFile()
    {
        IniDocument other;
        QVERIFY(other.load(saved("three.dat")));
        other.writeString("Calibration", "Scale Capacity", "1234");
        QVERIFY(other.save(saved("other.dat")));
        withEditor([&](TParameterForm& editor) {
            dialogs.openPaths.enqueue(saved("three.dat"));
            editor.FileOpen->click();
            dialogs.openPaths.enqueue(saved("other.dat"));
            chooseCompare(editor, Qt::Key_F);
            QTRY_VERIFY(editor.compareWindow() && editor.compareWindow()->isVisible());
            CompareWindow* window = editor.compareWindow();
            QCOMPARE(window->countLabel()->text(),
                     QString("1 setting differs between the editor and other.dat."));
            QVERIFY(!window->sendButton()->isVisible());
            QCOMPARE(readAloud(window->table()).size(), 1);
            QVERIFY(readAloud(window->table())[0].endsWith(" | 1234"));
            window->close();
        });
    }
};

QTEST_MAIN(CompareSimTest)
#include "tst_compare_sim.moc"
