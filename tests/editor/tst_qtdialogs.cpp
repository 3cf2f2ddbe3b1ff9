#include "editor/QtDocumentDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace kx;

// The document's questions and file dialogs as the user sees them: caption, text, buttons,
// icon, and the file dialogs' title, filter, suffix and starting folder.
class TestQtDialogs : public QObject
{
    Q_OBJECT

private slots:
    void question_data();
    void question();
    void message_hasOkOnly();
    void openDialog_setUp_data();
    void openDialog_setUp();

private:
    // What a message box showed, taken before it is closed.
    struct Shown
    {
        bool seen = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        static Shown of(const QMessageBox* box)
        {
            return {true, box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        }
    };

    // Runs check on the modal window that the next call opens, from inside its event loop.
    template <typename T> void whenShown(std::function<void(T*)> check)
    {
        QTimer::singleShot(0, this, [this, check] {
            auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!w) {
                QTimer::singleShot(10, this, [this, check] { whenShown<T>(check); });
                return;
            }
            check(w);
        });
    }
};

void TestQtDialogs::question_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
}

void TestQtDialogs::question()
{
    QFETCH(bool, yes);
    QWidget parent;
    QtDocumentDialogs dialogs(&parent);
    Shown shown;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        shown = Shown::of(box);
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    const Answer answer =
        dialogs.ask({QStringLiteral("Save Changes?"), QStringLiteral("Changes Found"),
                     BoxMessage::Buttons::YesNo, BoxMessage::Icon::Question});
    QVERIFY(shown.seen);
    QCOMPARE(shown.title, QStringLiteral("Changes Found"));
    QCOMPARE(shown.text, QStringLiteral("Save Changes?"));
    QCOMPARE(shown.icon, QMessageBox::Question);
    QCOMPARE(shown.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(answer, yes ? Answer::Yes : Answer::No);
}

void TestQtDialogs::message_hasOkOnly()
{
    QWidget parent;
    QtDocumentDialogs dialogs(&parent);
    Shown shown;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        shown = Shown::of(box);
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.tell({QStringLiteral("File could not be saved."), QStringLiteral("Error Saving File"),
                  BoxMessage::Buttons::Ok, BoxMessage::Icon::Stop});
    QVERIFY(shown.seen);
    QCOMPARE(shown.title, QStringLiteral("Error Saving File"));
    QCOMPARE(shown.text, QStringLiteral("File could not be saved."));
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestQtDialogs::openDialog_setUp_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

void TestQtDialogs::openDialog_setUp()
{
    QFETCH(bool, save);
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("SAVED"));
    QVERIFY(QDir().mkpath(saved));
    QWidget parent;
    QtDocumentDialogs dialogs(&parent);
    const FileDialogSetup setup{QStringLiteral("Open KX7400 file."),
                              QStringLiteral("Dat File (*.dat)"), QStringLiteral("DAT"), saved,
                              save ? QStringLiteral("KX") : QString()};
    bool seen = false;
    QString title, suffix, folder;
    QStringList filters;
    QFileDialog::AcceptMode mode{};
    QFileDialog::FileMode fileMode{};
    bool asksBeforeReplacing = true;
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        seen = true;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        folder = QDir(dialog->directory()).canonicalPath();
        mode = dialog->acceptMode();
        fileMode = dialog->fileMode();
        asksBeforeReplacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->reject();
    });
    const auto chosen = save ? dialogs.chooseFileToSave(setup) : dialogs.chooseFileToOpen(setup);
    QVERIFY(seen);
    QVERIFY(!chosen);
    QCOMPARE(title, QStringLiteral("Open KX7400 file."));
    QCOMPARE(filters, QStringList{"Dat File (*.dat)"});
    QCOMPARE(suffix, QStringLiteral("DAT"));
    QCOMPARE(folder, QDir(saved).canonicalPath());
    QCOMPARE(mode, save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open takes a name that does not exist yet; Save replaces without asking.
    QCOMPARE(fileMode, QFileDialog::AnyFile);
    if (save)
        QVERIFY(!asksBeforeReplacing);
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qtdialogs.moc"
