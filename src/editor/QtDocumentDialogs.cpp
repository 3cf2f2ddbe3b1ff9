#include "editor/QtDocumentDialogs.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>

namespace kx {

namespace {

QMessageBox::Icon iconOf(BoxMessage::Icon icon)
{
    switch (icon) {
    case BoxMessage::Icon::Question:
        return QMessageBox::Question;
    case BoxMessage::Icon::Stop:
        return QMessageBox::Critical;
    case BoxMessage::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

// A Yes/No question has no way out but its two answers: Qt would take Esc and the close box
// as No, and "No" to "Save Changes?" drops the user's edits without a word.
class QuestionBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (!clickedButton()) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }
};

int runBox(QWidget* parent, const BoxMessage& message)
{
    if (message.buttons == BoxMessage::Buttons::YesNo) {
        QuestionBox box(iconOf(message.icon), message.caption, message.text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.setAccessibleDescription(QStringLiteral("MessageBox"));
        box.setAccessibleName(message.text);
        return box.exec();
    }
    QMessageBox box(iconOf(message.icon), message.caption, message.text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setAccessibleDescription(QStringLiteral("MessageBox"));
    box.setAccessibleName(message.text);
    return box.exec();
}

// The dialog as both file operations set it up; the accept mode makes the difference.
std::optional<QString> runFileDialog(QWidget* parent, const FileDialogSetup& setup,
                                     QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, setup.title, setup.directory, setup.filter);
    dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("OpenDialog")
                                                         : QStringLiteral("SaveDialog"));
    dialog.setAccessibleDescription(dialog.objectName());
    dialog.setAcceptMode(mode);
    // Open accepts a name that does not exist yet; Save replaces a file without asking.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptSave)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(setup.defaultSuffix);
    if (!setup.fileName.isEmpty())
        dialog.selectFile(QDir(setup.directory).filePath(setup.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

} // namespace

Answer QtDocumentDialogs::ask(const BoxMessage& message)
{
    return runBox(parent_, message) == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtDocumentDialogs::tell(const BoxMessage& message)
{
    runBox(parent_, message);
}

std::optional<QString> QtDocumentDialogs::chooseFileToOpen(const FileDialogSetup& setup)
{
    return runFileDialog(parent_, setup, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDocumentDialogs::chooseFileToSave(const FileDialogSetup& setup)
{
    return runFileDialog(parent_, setup, QFileDialog::AcceptSave);
}

} // namespace kx
