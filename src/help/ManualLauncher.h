#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace kx {

class DocumentDialogs;
struct FileDialogSetup;

// Finds the PDF reader the operator's manual is opened with and opens the manual in it.
// The reader's path is kept in a settings file shared by the maker's programs ("ADOBE.INI",
// section "Adobe Reader", key "Directory"); "Adobe.Ini" in the program's folder is read only
// while the shared file does not exist, and is then copied into it.
class ManualLauncher
{
public:
    struct Places
    {
        QString sharedFolder;  // holds ADOBE.INI, shared by the maker's programs
        QString programFolder; // holds the fallback Adobe.Ini
        QString manual;        // the operator's manual, 60387.PDF
        QString defaultReader; // used when no reader is known or the known one is gone
        // Windows: a reader is looked for and chosen. Elsewhere the desktop's opener
        // (defaultReader) opens the manual with whatever the user set up for PDF files.
        bool searchReader = true;
    };
    // Starts program with args without waiting for it; false when it cannot be started.
    using StartDetached = std::function<bool(const QString& program, const QStringList& args)>;
    // Runs opener with file and, once it has ended, tells answered whether it opened it (an
    // opener that finds no program for the file ends with a failure). Returns at once.
    using OpenDocument = std::function<void(const QString& opener, const QString& file,
                                            std::function<void(bool answered)> answered)>;

    static inline const QString SharedFileName = QStringLiteral("ADOBE.INI");
    static inline const QString ProgramFileName = QStringLiteral("Adobe.Ini");
    static inline const QString ManualFileName = QStringLiteral("60387.PDF");

    // start: how the reader is started; empty for QProcess::startDetached. open: how the
    // desktop's opener is run; empty for a QProcess watched until it ends.
    explicit ManualLauncher(Places places, StartDetached start = {}, OpenDocument open = {});

    // The places of the running program: the shared folder "Morvell Scales" under the user's
    // configuration folder, the manual in installFolder, the desktop's document opener.
    static Places standardPlaces(const QString& programFolder, const QString& installFolder);
    // The desktop's opener for documents (xdg-open), found on the PATH.
    static QString desktopOpener();
    // How the reader dialog is set up.
    static FileDialogSetup readerDialogSetup();

    QString sharedFile() const;
    const QString& readerPath() const { return readerPath_; }
    const Places& places() const { return places_; }

    // Once, at the main window's first activation: the reader path from the shared file (or
    // the program folder's file while the shared one is missing); the default reader when the
    // path names no file. Creates the shared file when it was missing. Failures to create the
    // folder or to write the file leave the path found for this run in effect.
    void SetUpReader();
    // Keeps path (or the default reader when no file is there) and writes it to the shared file.
    void StoreReaderPath(const QString& path);

    enum class Outcome
    {
        Started,     // the reader was started with the manual
        StartFailed, // the reader could not be started; the user was told
        NoReader     // no reader and none chosen: nothing happens
    };
    // "&Operators Manual": asks for a reader if the known one is gone, then starts it with the
    // manual's path as its one argument. Where no reader is looked for, the desktop's opener
    // opens it; when there is none, or it answers that nothing opens PDF files, the user is
    // told where the manual is (dialogs must outlive the opener's answer).
    Outcome OpButtonClick(DocumentDialogs& dialogs);
    // Another PDF the program wrote (a service report), in the manual's reader, or the
    // desktop's opener while no reader is known; false when it cannot be started.
    bool openDocument(const QString& path);

private:
    Outcome openWithDesktop(DocumentDialogs& dialogs);

    Places places_;
    StartDetached start_;
    OpenDocument open_;
    QString readerPath_;
};

} // namespace kx
