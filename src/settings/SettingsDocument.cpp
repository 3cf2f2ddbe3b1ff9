#include "settings/SettingsDocument.h"

#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/SettingsCheck.h"
#include "settings/SafeSave.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kx {
namespace {

const QString kSaveChanges = QStringLiteral("Save Changes?");
const QString kSaveChangesToCurrent = QStringLiteral("Save Changes to current file?");
const QString kUnableToLoad = QStringLiteral("Error occurred! Unable to load defaults.");
const QString kNewCaption = QStringLiteral("Parameters Editor");
const QString kNoFileCaption = QStringLiteral("Parameters... ");

// A failed save says the same as an incomplete load.
const BoxMessage kNotAllLoaded{QStringLiteral("Not all settings coud be loaded."),
                               QStringLiteral("Error Reading File"), BoxMessage::Buttons::Ok,
                               BoxMessage::Icon::Information};
const BoxMessage kNotSaved{QStringLiteral("File could not be saved."),
                           QStringLiteral("Error Saving File"), BoxMessage::Buttons::Ok,
                           BoxMessage::Icon::Stop};

// The box of a failed save with a second line saying which file and why.
BoxMessage withReason(BoxMessage box, const QString& reason)
{
    if (!reason.isEmpty())
        box.text += QLatin1Char('\n') + reason;
    return box;
}

QString fileCaption(const QString& path)
{
    return QStringLiteral("Parameters... (") + path + QLatin1Char(')');
}

// Scoped busy cursor.
class Busy
{
public:
    explicit Busy(SettingsEditorView& view) : view_(view) { view_.setBusy(true); }
    ~Busy() { view_.setBusy(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    SettingsEditorView& view_;
};

} // namespace

SettingsDocument::SettingsDocument(SettingsEditorView& view, DocumentDialogs& dialogs,
                                   QString programFolder)
    : view_(view), dialogs_(dialogs), programFolder_(std::move(programFolder))
{
}

SettingsDocument::Situation SettingsDocument::situation() const
{
    if (openFile_)
        return Situation::Attached;
    return currentFileName_ == NoFileName ? Situation::NoFile : Situation::Detached;
}

bool SettingsDocument::hasUnsavedChanges() const
{
    return view_.changed() || view_.keptChanges();
}

QString SettingsDocument::settingsFolder() const
{
    return QDir(programFolder_).filePath(QStringLiteral("SAVED"));
}

void SettingsDocument::ensureSettingsFolder() const
{
    QDir().mkpath(settingsFolder());
}

FileDialogSetup SettingsDocument::dialogSetup(const QString& directory,
                                              const QString& fileName) const
{
    return {QStringLiteral("Open KX7400 file."), QStringLiteral("Dat File (*.dat)"),
            QStringLiteral("DAT"), directory, fileName};
}

FileDialogSetup SettingsDocument::saveDialogSetup() const
{
    if (currentFileName_ == NoFileName || currentFileName_.isEmpty())
        return dialogSetup(settingsFolder(), QString());
    const QFileInfo current(currentFileName_);
    // A dialog that starts in a folder that is not there shows its parent with the folder's
    // name filled in, and accepting that writes a file beside the folder, where Open never
    // looks; a name that is a folder's would do the same.
    if (current.isDir())
        return dialogSetup(settingsFolder(), QString());
    if (!QFileInfo(current.absolutePath()).isDir())
        return dialogSetup(settingsFolder(), current.fileName());
    return dialogSetup(current.absolutePath(), current.fileName());
}

void SettingsDocument::setFlags(bool changed)
{
    view_.setChanged(changed);
    if (!changed)
        view_.setKeptChanges(false);
}

bool SettingsDocument::offerToSave(const QString& question)
{
    if (!hasUnsavedChanges())
        return true;
    const BoxMessage box{question, QStringLiteral("Changes Found"), BoxMessage::Buttons::YesNo,
                         BoxMessage::Icon::Question};
    if (dialogs_.ask(box) != Answer::Yes)
        return true;
    return SaveButtonClick(SaveCaller::Other);
}

bool SettingsDocument::prepareUpload()
{
    return offerToSave(kSaveChanges);
}

bool SettingsDocument::prepareDownload()
{
    checkedDownload_.reset();
    if (!offerToSave(kSaveChanges))
        return false;
    if (!openFile_ || currentFileName_ == NoFileName || currentFileName_.isEmpty()) {
        dialogs_.tell({QStringLiteral("Save settings or open an existing file."),
                       QStringLiteral("NO FILE OPENED"), BoxMessage::Buttons::Ok,
                       BoxMessage::Icon::Stop});
        return false;
    }
    // What would be sent is read once and checked whole before anything goes to the
    // indicator; the download sends exactly these bytes.
    SettingsFileCheck check = readCheckedSettings(*openFile_);
    if (!check.checked) {
        dialogs_.tell({check.refusal, QStringLiteral("DOWNLOAD NEW SETTINGS TO KX7400"),
                       BoxMessage::Buttons::Ok, BoxMessage::Icon::Stop});
        return false;
    }
    if (dialogs_.ask({QStringLiteral("Existing KX7400 settings will be lost?"),
                      QStringLiteral("DOWNLOAD NEW SETTINGS TO KX7400"),
                      BoxMessage::Buttons::YesNo, BoxMessage::Icon::Question})
        != Answer::Yes)
        return false;
    checkedDownload_ = std::move(check.checked);
    return true;
}

std::optional<CheckedSettings> SettingsDocument::prepareCompare()
{
    if (!offerToSave(kSaveChanges))
        return std::nullopt;
    if (!openFile_ || currentFileName_ == NoFileName || currentFileName_.isEmpty()) {
        dialogs_.tell({QStringLiteral("Save settings or open an existing file."),
                       QStringLiteral("NO FILE OPENED"), BoxMessage::Buttons::Ok,
                       BoxMessage::Icon::Stop});
        return std::nullopt;
    }
    return checkedForCompare(*openFile_);
}

std::optional<CheckedSettings> SettingsDocument::chooseComparedFile()
{
    ensureSettingsFolder();
    const auto path = dialogs_.chooseFileToOpen(dialogSetup(settingsFolder(), QString()));
    if (!path)
        return std::nullopt;
    return checkedForCompare(*path);
}

std::optional<CheckedSettings> SettingsDocument::checkedForCompare(const QString& path)
{
    SettingsFileCheck check = readCheckedSettings(path);
    if (!check.checked)
        dialogs_.tell({check.refusal, QStringLiteral("COMPARE SETTINGS"), BoxMessage::Buttons::Ok,
                       BoxMessage::Icon::Stop});
    return std::move(check.checked);
}

bool SettingsDocument::fill(const SettingsRecord& record, FillReason reason)
{
    return view_.showRecord(record, reason);
}

bool SettingsDocument::LoadSettingsFile(const QString& path)
{
    Busy busy(view_);
    openFile_ = path;
    IniDocument doc;
    bool complete = true;
    // A file that does not exist reads as all defaults; one that exists but cannot be read
    // shows defaults too, and the user is told.
    if (QFileInfo::exists(path) && !doc.load(path))
        complete = false;
    if (!fill(readSettings(doc), FillReason::LoadedFile))
        complete = false;
    if (!complete)
        dialogs_.tell(kNotAllLoaded);
    return complete;
}

bool SettingsDocument::WriteSettingsFile(QString* error)
{
    if (!openFile_) {
        if (error)
            *error = QStringLiteral("no settings file is open");
        return false;
    }
    if (hasUnsavedChanges())
        view_.storeShownDefinition();
    const SettingsRecord record = view_.record();

    // The save rewrites the file as it is on disk now, so keys the record does not own, and
    // keys a rule skips, keep their values. A file that exists but cannot be read is not
    // replaced by a partial one.
    IniDocument doc;
    QString why;
    if (QFileInfo::exists(*openFile_) && !doc.load(*openFile_, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(*openFile_), why);
        return false;
    }
    writeSettings(doc, record);
    if (!doc.save(*openFile_, error))
        return false;
    setFlags(false);
    return true;
}

bool SettingsDocument::fillNewRecord()
{
    SettingsRecord record = newSettingsRecord();
    // The network choice is not part of a new record: the editor keeps what it shows.
    const QByteArray network = "NEEthernet";
    record.setValue(network, view_.record().value(network));
    return fill(record, FillReason::NewRecord);
}

bool SettingsDocument::LoadDefaults()
{
    const bool applied = fillNewRecord();
    view_.setCaption(kNewCaption);
    return applied;
}

void SettingsDocument::NewButtonClick()
{
    // Unsaved edits are never dropped without a question, with or without an open file.
    if (!offerToSave(kSaveChanges))
        return;
    openFile_.reset();
    LoadDefaults();
    view_.setChanged(true);
}

void SettingsDocument::OpenButtonClick()
{
    if (!offerToSave(kSaveChangesToCurrent))
        return;
    openFile_.reset();
    ensureSettingsFolder();
    const auto path = dialogs_.chooseFileToOpen(dialogSetup(settingsFolder(), QString()));
    if (!path)
        return;
    currentFileName_ = *path;
    LoadSettingsFile(*path);
    view_.setCaption(fileCaption(*path));
    setFlags(false);
}

bool SettingsDocument::SaveButtonClick(SaveCaller caller)
{
    if (caller == SaveCaller::Other && !hasUnsavedChanges())
        return true;
    // A value the file would not take is never left out in silence: the editor would go on
    // showing it while the file, and whatever is sent from it, keeps the old one.
    if (const QStringList problems = unsavedValueProblems(view_.record()); !problems.isEmpty()) {
        QStringList text{problems.size() == 1 ? QStringLiteral("This value cannot be saved:")
                                              : QStringLiteral("These values cannot be saved:")};
        for (const QString& p : problems)
            text << QStringLiteral("  ") + p;
        text << QStringLiteral("Nothing was saved. Correct the value and save again.");
        dialogs_.tell({text.join(QLatin1Char('\n')), QStringLiteral("Error Saving File"),
                       BoxMessage::Buttons::Ok, BoxMessage::Icon::Stop});
        return false;
    }
    if (caller == SaveCaller::SaveAsButton) {
        openFile_.reset();
        currentFileName_ = NoFileName;
        view_.setCaption(kNoFileCaption);
    }
    ensureSettingsFolder();
    if (!openFile_ || currentFileName_.isEmpty()) {
        if (const auto path = dialogs_.chooseFileToSave(saveDialogSetup())) {
            currentFileName_ = *path;
            openFile_ = *path;
        }
    }
    if (!openFile_)
        return false;
    Busy busy(view_);
    QString why;
    const bool written = WriteSettingsFile(&why);
    view_.setCaption(fileCaption(currentFileName_));
    if (!written)
        dialogs_.tell(withReason(kNotAllLoaded, why));
    return written;
}

bool SettingsDocument::FormCloseQuery()
{
    if (!offerToSave(kSaveChanges))
        return false;
    openFile_.reset();
    return true;
}

void SettingsDocument::LoadOnShow()
{
    if (currentFileName_ != NoFileName) {
        LoadSettingsFile(currentFileName_);
    } else if (!fillNewRecord()) {
        // The show leaves the caption as it was.
        view_.showErrorPanel(kUnableToLoad);
    }
    setFlags(false);
}

bool SettingsDocument::SaveUploadedSettings(const QList<QByteArray>& lines)
{
    ensureSettingsFolder();
    const auto path = dialogs_.chooseFileToSave(saveDialogSetup());
    if (!path)
        return false;

    const QByteArray content = linesText(lines);

    // The previous file is kept as "<name>.bak" unless an older backup is already there. The
    // old file is only ever replaced by a complete new one, and only once its backup is safe.
    const QString backup = *path + QStringLiteral(".bak");
    QString why;
    if (isReadOnly(*path)) {
        why = QStringLiteral("%1: the file is read-only").arg(QDir::toNativeSeparators(*path));
    } else if (keepBackup(*path, backup, &why)) {
        if (saveFile(*path, content, &why))
            why.clear();
    }
    if (!why.isEmpty()) {
        dialogs_.tell(withReason(kNotSaved, why));
        // Nothing received is lost: the setup stays in the editor, unsaved and tied to no file,
        // so a Save asks where to keep it and overwrites nothing unasked.
        fill(readSettings(IniDocument::fromBytes(content)), FillReason::LoadedFile);
        openFile_.reset();
        currentFileName_ = NoFileName;
        view_.setCaption(kNoFileCaption);
        setFlags(true);
        return false;
    }

    currentFileName_ = *path;
    LoadSettingsFile(*path);
    view_.setCaption(fileCaption(*path));
    setFlags(false);
    return true;
}

} // namespace kx
