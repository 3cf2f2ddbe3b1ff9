#include "editor/QtDocumentDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace kx {

namespace {

QMessageBox::Icon iconOf(MessageSpec::Icon icon)
{
    switch (icon) {
    case MessageSpec::Icon::Question:
        return QMessageBox::Question;
    case MessageSpec::Icon::Stop:
        return QMessageBox::Critical;
    case MessageSpec::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

int runBox(QWidget* parent, const MessageSpec& message)
{
    const QMessageBox::StandardButtons buttons = message.buttons == MessageSpec::Buttons::YesNo
                                                     ? QMessageBox::Yes | QMessageBox::No
                                                     : QMessageBox::Ok;
    QMessageBox box(iconOf(message.icon), message.caption, message.text, buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setAccessibleDescription(QStringLiteral("MessageBox"));
    box.setAccessibleName(message.text);
    return box.exec();
}

// The dialog as both file operations set it up; the accept mode makes the difference.
std::optional<QString> runFileDialog(QWidget* parent, const FileDialogSpec& spec,
                                     QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, spec.title, spec.directory, spec.filter);
    dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("OpenDialog")
                                                         : QStringLiteral("SaveDialog"));
    dialog.setAccessibleDescription(dialog.objectName());
    dialog.setAcceptMode(mode);
    // Open accepts a name that does not exist yet; Save replaces a file without asking.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptSave)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(spec.defaultSuffix);
    if (!spec.fileName.isEmpty())
        dialog.selectFile(QDir(spec.directory).filePath(spec.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

} // namespace

Answer QtDocumentDialogs::ask(const MessageSpec& message)
{
    return runBox(parent_, message) == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtDocumentDialogs::tell(const MessageSpec& message)
{
    runBox(parent_, message);
}

std::optional<QString> QtDocumentDialogs::chooseFileToOpen(const FileDialogSpec& spec)
{
    return runFileDialog(parent_, spec, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDocumentDialogs::chooseFileToSave(const FileDialogSpec& spec)
{
    return runFileDialog(parent_, spec, QFileDialog::AcceptSave);
}

} // namespace kx
