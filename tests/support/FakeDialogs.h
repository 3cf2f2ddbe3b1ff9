#pragma once

#include "settings/DocumentDialogs.h"

#include <QList>
#include <QQueue>

// Answers the editor's questions and file dialogs from a script and remembers what it was
// shown. An unscripted question is answered No; an unscripted file dialog is cancelled.
class FakeDialogs : public kx::DocumentDialogs
{
public:
    kx::Answer ask(const kx::BoxMessage& message) override
    {
        asked << message;
        return answers.isEmpty() ? kx::Answer::No : answers.dequeue();
    }
    void tell(const kx::BoxMessage& message) override { told << message; }
    std::optional<QString> chooseFileToOpen(const kx::FileDialogSetup& setup) override
    {
        openDialogs << setup;
        if (openPaths.isEmpty())
            return std::nullopt;
        return openPaths.dequeue();
    }
    std::optional<QString> chooseFileToSave(const kx::FileDialogSetup& setup) override
    {
        saveDialogs << setup;
        if (savePaths.isEmpty())
            return std::nullopt;
        return savePaths.dequeue();
    }

    QQueue<kx::Answer> answers;
    QQueue<QString> openPaths;
    QQueue<QString> savePaths;
    QList<kx::BoxMessage> asked;
    QList<kx::BoxMessage> told;
    QList<kx::FileDialogSetup> openDialogs;
    QList<kx::FileDialogSetup> saveDialogs;
};
