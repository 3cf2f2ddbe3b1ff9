#pragma once

#include <QDialog>
#include <memory>

class QPlainTextEdit;
class QPushButton;

namespace kx {

class DocumentDialogs;
class ManualLauncher;
class VersionInfo;

// The about box: the program's version data beside its labels, and the button that opens
// the operator's manual. The values are read afresh each time the box is shown.
class THelpAboutForm : public QDialog
{
    Q_OBJECT
public:
    // dialogs: the reader dialog and the failure box; null for real ones over this box.
    THelpAboutForm(const VersionInfo& info, ManualLauncher& launcher,
                   DocumentDialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~THelpAboutForm() override;

    // The program file named for an empty ProductName; the running executable by default.
    void setProgramFile(const QString& path) { programFile_ = path; }

    void FormShow();
    void OpButtonClick();

    QPlainTextEdit* LabelsMemo = nullptr;
    QPlainTextEdit* ValuesMemo = nullptr;
    QPushButton* OpButton = nullptr;
    QPushButton* CloseButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const VersionInfo& info_;
    ManualLauncher& launcher_;
    std::unique_ptr<DocumentDialogs> ownDialogs_;
    DocumentDialogs* dialogs_;
    QString programFile_;
};

} // namespace kx
