#pragma once

#include "settings/DocumentDialogs.h"

#include <QList>
#include <QQueue>
#include <QtGlobal>
#include <functional>
#include <optional>

// Answers the editor's questions and file dialogs from a script and remembers what it was
// shown. A file dialog takes the next scripted choice: a path, or std::nullopt for Cancel, so
// a test can script a cancel among its choices; an unscripted dialog is cancelled. An
// unscripted question is answered No with a warning, since the test did not expect it.
class FakeDialogs : public kx::DocumentDialogs
{
public:
    kx::Answer ask(const kx::BoxMessage& message) override
    {
        asked << message;
        if (onAsk)
            onAsk(message);
        if (answers.isEmpty()) {
            qWarning("unexpected question: %s", qPrintable(message.text));
            return kx::Answer::No;
        }
        return answers.dequeue();
    }
    void tell(const kx::BoxMessage& message) override { told << message; }
    std::optional<QString> chooseFileToOpen(const kx::FileDialogSetup& setup) override
    {
        openDialogs << setup;
        return next(openPaths);
    }
    std::optional<QString> chooseFileToSave(const kx::FileDialogSetup& setup) override
    {
        saveDialogs << setup;
        return next(savePaths);
    }

    // Every scripted answer and choice has been used.
    bool scriptUsedUp() const
    {
        return answers.isEmpty() && openPaths.isEmpty() && savePaths.isEmpty();
    }

    QQueue<kx::Answer> answers;
    QQueue<std::optional<QString>> openPaths;
    QQueue<std::optional<QString>> savePaths;
    // Called as each question is asked, before it is answered.
    std::function<void(const kx::BoxMessage&)> onAsk;
    QList<kx::BoxMessage> asked;
    QList<kx::BoxMessage> told;
    QList<kx::FileDialogSetup> openDialogs;
    QList<kx::FileDialogSetup> saveDialogs;

private:
    static std::optional<QString> next(QQueue<std::optional<QString>>& choices)
    {
        return choices.isEmpty() ? std::nullopt : choices.dequeue();
    }
};
