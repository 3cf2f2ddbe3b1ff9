#pragma once

#include "settings/DocumentDialogs.h"
#include "settings/SettingsEditorView.h"
#include "settings/SettingsValueCheck.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kx {

// The document side of the parameter editor: which settings file is current, whether it is
// open for writing, and what New, Open, Save, Save As, closing, showing and saving an upload do
// with files, folders, questions, the caption and the change flags.
//
// Saving never writes a file piece by piece: the new content (the file as it is on disk with
// the saved keys replaced in place) replaces the file in one atomic step, so a failed save
// leaves the file exactly as it was.
class SettingsDocument
{
public:
    // Who asked for a save: the two buttons save unconditionally; anyone else only when there
    // are unsaved changes.
    enum class SaveCaller
    {
        Other,
        SaveButton,
        SaveAsButton
    };
    // No file: name "0", nothing open. Attached: a name and that file open.
    // Detached: a name but nothing open (after New, a cancelled Open, or closing).
    enum class Situation
    {
        NoFile,
        Attached,
        Detached
    };

    static inline const QString NoFileName = QStringLiteral("0");

    // programFolder is the folder of the executable; settings live in its "SAVED" folder.
    SettingsDocument(SettingsEditorView& view, DocumentDialogs& dialogs, QString programFolder);

    QString currentFileName() const { return currentFileName_; }
    void setCurrentFileName(const QString& path) { currentFileName_ = path; }
    std::optional<QString> openFile() const { return openFile_; }
    Situation situation() const;
    // The download goes ahead only in the attached situation.
    bool canDownload() const { return situation() == Situation::Attached; }
    bool hasUnsavedChanges() const;
    QString settingsFolder() const;

    // Fills the editor from the file (a missing file reads as all defaults) and makes it the
    // open settings file. An incomplete load is reported here, once; returns completeness.
    bool LoadSettingsFile(const QString& path);
    // Writes the editor's record into the open settings file; clears both change flags on
    // success. False when nothing is open or the file refused the save; error then says which
    // file and why.
    bool WriteSettingsFile(QString* error = nullptr);
    // Fills the editor with a new record (keeping the network choice); caption
    // "Parameters Editor". False when the editor could not take every value.
    bool LoadDefaults();

    // New, Open and closing ask about unsaved changes first. When the user answers Yes and the
    // changes are not saved after all (the save dialog is cancelled or the file refuses the
    // write), the operation stops there and the edits stay in the editor.
    void NewButtonClick();
    void OpenButtonClick();
    // True when the record is saved, or when an implicit save found nothing to save; false
    // when the dialog was cancelled or the write failed.
    bool SaveButtonClick(SaveCaller caller);
    // Asks about unsaved changes and releases the file. True when the window may close: always,
    // unless the user asked for a save that did not happen.
    bool FormCloseQuery();
    // The show step: the current file, or a new record when there is none; then clears both
    // change flags. The caption stays as it was.
    void LoadOnShow();
    // The editor's Upload: unsaved changes are offered for saving first, as New and Open do.
    // False when the user wanted them saved and they were not: nothing is sent then.
    bool prepareUpload();
    // The editor's Download: unsaved changes offered for saving, a file must be open, and the
    // user confirms that the indicator's settings will be replaced. The file is read once and
    // every value checked here, before the line is touched; a refusal names each value and
    // stops it. False stops it.
    bool prepareDownload();
    // The settings the last prepareDownload() checked: what that download sends.
    const std::optional<CheckedSettings>& checkedDownload() const { return checkedDownload_; }

    // The editor's side of a comparison: unsaved changes offered for saving, a file must be
    // open, and it is read once and checked as a download checks it (a refusal is shown and
    // gives nothing). The editor's values are then the file's.
    std::optional<CheckedSettings> prepareCompare();
    // The other side of "Compare with file…": a file chosen in the open dialog, read through
    // the same check; nothing on Cancel or a refusal (shown).
    std::optional<CheckedSettings> chooseComparedFile();
    // What the next download sends instead of the open file: a setup built for it (the
    // compare window's merged setup), already checked.
    void setCheckedDownload(CheckedSettings settings) { checkedDownload_ = std::move(settings); }

    // Saves the lines of a finished upload as a settings file chosen by the user and loads it.
    // False when cancelled or when the file could not be written.
    bool SaveUploadedSettings(const QList<QByteArray>& lines);

private:
    FileDialogSetup dialogSetup(const QString& directory, const QString& fileName) const;
    FileDialogSetup saveDialogSetup() const;
    // Asks the question when there are unsaved changes and saves on Yes; false when the user
    // wanted the changes saved and they were not.
    bool offerToSave(const QString& question);
    void setFlags(bool changed);
    // A file read through the download's check; a refusal is shown and gives nothing.
    std::optional<CheckedSettings> checkedForCompare(const QString& path);
    void ensureSettingsFolder() const;
    bool fill(const SettingsRecord& record, FillReason reason);
    bool fillNewRecord();

    SettingsEditorView& view_;
    DocumentDialogs& dialogs_;
    QString programFolder_;
    QString currentFileName_ = NoFileName;
    std::optional<QString> openFile_;
    std::optional<CheckedSettings> checkedDownload_;
};

} // namespace kx
