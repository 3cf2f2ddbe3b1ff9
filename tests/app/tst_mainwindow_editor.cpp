#include "FakeDialogs.h"
#include "FakeSerialDevice.h"
#include "app/TMainForm.h"
#include "editor/TParameterForm.h"
#include "link/QtClock.h"
#include "settings/SettingsSchema.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kx;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The section names of a file, in order.
QList<QByteArray> sectionsOf(const QByteArray& file)
{
    QList<QByteArray> out;
    for (const QByteArray& line : file.split('\n'))
        if (line.startsWith('['))
            out << line.mid(1, line.indexOf(']') - 1);
    return out;
}

} // namespace

// The parameter editor as a user reaches it: F4 on the main window.
class MainWindowEditorTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<TMainForm> form;
    test::FakeSerialDevice* device = nullptr;

    // Presses F4 and runs steps while the editor is open; the editor is expected closed by them.
    void withEditor(const std::function<void(TParameterForm&)>& steps)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            TParameterForm* editor = form->ParameterForm();
            QVERIFY(editor->isVisible());
            steps(*editor);
            ran = true;
            if (editor->isVisible())
                editor->done(0);
        });
        QTest::keyClick(form.get(), Qt::Key_F4);
        QVERIFY(ran);
        QVERIFY(!form->ParameterForm()->isVisible());
    }
    static void click(TParameterForm& editor, const char* name)
    {
        auto* b = editor.findChild<QAbstractButton*>(QString::fromLatin1(name));
        QVERIFY2(b && b->isEnabled(), name);
        b->click();
    }

private slots:
    void init()
    {
        QFile ini(dir.filePath("Port.Ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Scale Port]\r\nPort=1\r\n");
        ini.close();
        dialogs = FakeDialogs();
        auto dev = std::make_unique<test::FakeSerialDevice>();
        device = dev.get();
        form =
            std::make_unique<TMainForm>(dir.path(), QtClock::instance(), std::move(dev), &dialogs);
        form->show();
        QTRY_VERIFY(form->panel().connected());
    }
    void cleanup() { form.reset(); }

    void f4OpensANewRecordAndSaveAsWritesItWhole()
    {
        const QString path = QDir(dir.filePath("SAVED")).filePath("scale1.dat");
        bool pollingPaused = false;
        withEditor([&](TParameterForm& editor) {
            QVERIFY(editor.windowTitle().contains("Parameters Editor"));
            pollingPaused = !form->panel().pollCycle().pollTimer().ticking();
            QDir().mkpath(dir.filePath("SAVED"));
            dialogs.savePaths.enqueue(path);
            click(editor, "FileSaveAs");
            click(editor, "ScreenClose");
        });
        QVERIFY(pollingPaused);
        QVERIFY(form->panel().pollCycle().pollTimer().ticking());
        QVERIFY(dialogs.asked.isEmpty());

        const QByteArray file = readAll(path);
        QVERIFY(!file.isEmpty());
        QVERIFY(!file.contains('\n') || file.count('\n') == file.count("\r\n"));
        QList<QByteArray> expected;
        for (const char* s : sectionOrder())
            expected << QByteArray(s);
        QCOMPARE(sectionsOf(file), expected);
        // Every setting of the table is there, in the table's order.
        qsizetype at = 0;
        for (const SettingDesc& d : settingsTable()) {
            const qsizetype next = file.indexOf("\r\n" + QByteArray(d.key) + '=', at);
            QVERIFY2(next >= 0, d.key);
            at = next;
        }
    }

    void openingAPartialFileThenSavingKeepsWhatWasThereAndAddsTheRest()
    {
        const QString path = dir.filePath("partial.dat");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Configuration]\r\nCom1 Baud=6\r\n");
        f.close();
        withEditor([&](TParameterForm& editor) {
            dialogs.openPaths.enqueue(path);
            click(editor, "FileOpen");
            QVERIFY(dialogs.told.isEmpty());
            click(editor, "FileSave");
            click(editor, "ScreenClose");
        });
        QVERIFY2(dialogs.told.isEmpty(), "a file with missing keys loads without a message");
        const QByteArray file = readAll(path);
        QVERIFY(file.startsWith("[Configuration]\r\nCom1 Baud=6\r\n"));
        QCOMPARE(file.count("Com1 Baud="), 1);
        for (const SettingDesc& d : settingsTable())
            QVERIFY2(file.contains("\r\n" + QByteArray(d.key) + '='), d.key);
    }

    // Enter that closed a dialog is released over the face; only a key pressed there counts.
    void aKeyActsOnlyWhenPressedAndReleasedOnTheFace()
    {
        device->takeWritten();
        QTest::keyRelease(form.get(), Qt::Key_Return);
        QVERIFY(device->written.isEmpty());
        QTest::keyClick(form.get(), Qt::Key_Return);
        QCOMPARE(device->takeWritten(), QByteArray("\a"));
    }

    void exitWithUnsavedChangesAsks()
    {
        withEditor([&](TParameterForm& editor) {
            auto* capacity = editor.findChild<QLineEdit*>("ScaleCapacity");
            QVERIFY(capacity);
            capacity->setFocus();
            QTest::keyClicks(capacity, "5");
            dialogs.answers.enqueue(Answer::No);
            click(editor, "ScreenClose");
        });
        QCOMPARE(dialogs.asked.size(), 1);
        QCOMPARE(dialogs.asked[0].text, QStringLiteral("Save Changes?"));
    }
};

QTEST_MAIN(MainWindowEditorTest)
#include "tst_mainwindow_editor.moc"
