#pragma once

#include <QString>
#include <optional>

namespace kx {

// A message box as the document operations want it shown.
struct BoxMessage
{
    enum class Buttons
    {
        Ok,
        YesNo
    };
    enum class Icon
    {
        Information,
        Question,
        Stop
    };

    QString text;
    QString caption;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::Information;

    friend bool operator==(const BoxMessage&, const BoxMessage&) = default;
};

enum class Answer
{
    Ok,
    Yes,
    No
};

// How a settings file dialog is set up. The open dialog accepts the name of a file that does
// not exist yet; the save dialog replaces an existing file without asking and needs the chosen
// folder to exist.
struct FileDialogSetup
{
    QString title;         // "Open KX7400 file." for both dialogs
    QString filter;        // Qt name filter: "Dat File (*.dat)"
    QString defaultSuffix; // "DAT"
    QString directory;     // the folder the dialog starts in
    QString fileName;      // the name filled in; empty for none

    friend bool operator==(const FileDialogSetup&, const FileDialogSetup&) = default;
};

// The modal boxes and file dialogs of the document operations. The editor implements it with
// QMessageBox and QFileDialog; tests script the answers.
class DocumentDialogs
{
public:
    virtual ~DocumentDialogs() = default;

    // Shows a Yes/No question; returns Yes or No (No when the box is closed another way).
    virtual Answer ask(const BoxMessage& message) = 0;
    // Shows a message with an OK button and waits until it is closed.
    virtual void tell(const BoxMessage& message) = 0;
    // The full path chosen in the open dialog, or nothing on Cancel.
    virtual std::optional<QString> chooseFileToOpen(const FileDialogSetup& setup) = 0;
    // The full path chosen in the save dialog, or nothing on Cancel.
    virtual std::optional<QString> chooseFileToSave(const FileDialogSetup& setup) = 0;
};

} // namespace kx
