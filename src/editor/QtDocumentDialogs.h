#pragma once

#include "settings/DocumentDialogs.h"

class QWidget;

namespace kx {

// The document operations' questions and file dialogs as real modal boxes over the editor.
class QtDocumentDialogs : public DocumentDialogs
{
public:
    explicit QtDocumentDialogs(QWidget* parent) : parent_(parent) {}

    Answer ask(const BoxMessage& message) override;
    void tell(const BoxMessage& message) override;
    std::optional<QString> chooseFileToOpen(const FileDialogSetup& setup) override;
    std::optional<QString> chooseFileToSave(const FileDialogSetup& setup) override;

private:
    QWidget* parent_;
};

} // namespace kx
