#pragma once

#include "settings/DocumentDialogs.h"

#include <QList>
#include <QQueue>

// Answers the editor's questions and file dialogs from a script and remembers what it was
// shown. An unscripted question is answered No; an unscripted file dialog is cancelled.
class FakeDialogs : public kx::DocumentDialogs
{
public:
    kx::Answer ask(const kx::MessageSpec& message) override
    {
        asked << message;
        return answers.isEmpty() ? kx::Answer::No : answers.dequeue();
    }
    void tell(const kx::MessageSpec& message) override { told << message; }
    std::optional<QString> chooseFileToOpen(const kx::FileDialogSpec& spec) override
    {
        openDialogs << spec;
        if (openPaths.isEmpty())
            return std::nullopt;
        return openPaths.dequeue();
    }
    std::optional<QString> chooseFileToSave(const kx::FileDialogSpec& spec) override
    {
        saveDialogs << spec;
        if (savePaths.isEmpty())
            return std::nullopt;
        return savePaths.dequeue();
    }

    QQueue<kx::Answer> answers;
    QQueue<QString> openPaths;
    QQueue<QString> savePaths;
    QList<kx::MessageSpec> asked;
    QList<kx::MessageSpec> told;
    QList<kx::FileDialogSpec> openDialogs;
    QList<kx::FileDialogSpec> saveDialogs;
};
