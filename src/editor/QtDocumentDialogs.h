#pragma once

#include "settings/DocumentDialogs.h"

class QWidget;

namespace kx {

// The document operations' questions and file dialogs as real modal boxes over the editor.
class QtDocumentDialogs : public DocumentDialogs
{
public:
    explicit QtDocumentDialogs(QWidget* parent) : parent_(parent) {}

    Answer ask(const MessageSpec& message) override;
    void tell(const MessageSpec& message) override;
    std::optional<QString> chooseFileToOpen(const FileDialogSpec& spec) override;
    std::optional<QString> chooseFileToSave(const FileDialogSpec& spec) override;

private:
    QWidget* parent_;
};

} // namespace kx
