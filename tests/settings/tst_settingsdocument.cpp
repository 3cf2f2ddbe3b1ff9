#include "FakeDialogs.h"

#include "settings/SettingsDocument.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kx;

namespace {

class FakeView : public SettingsEditorView
{
public:
    SettingsRecord shown = defaultSettingsRecord();
    bool changedFlag = false;
    bool keptFlag = false;
    QString caption = QStringLiteral("untouched");
    QString errorPanel;
    int busyDepth = 0;
    int stores = 0;
    bool refuseShow = false;
    QList<FillReason> fills;

    SettingsRecord record() const override { return shown; }
    bool showRecord(const SettingsRecord& record, FillReason reason) override
    {
        fills << reason;
        shown = record;
        return !refuseShow;
    }
    // The builder's controls hold an edit the definition list does not have yet.
    void storeShownDefinition() override
    {
        ++stores;
        shown.tempCom1.setValue("Stream Format", "<N>");
    }
    bool changed() const override { return changedFlag; }
    void setChanged(bool on) override { changedFlag = on; }
    bool keptChanges() const override { return keptFlag; }
    void setKeptChanges(bool on) override { keptFlag = on; }
    void setCaption(const QString& c) override { caption = c; }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void showErrorPanel(const QString& text) override { errorPanel = text; }
};

const BoxMessage kSaveChanges{"Save Changes?", "Changes Found", BoxMessage::Buttons::YesNo,
                              BoxMessage::Icon::Question};
const BoxMessage kSaveToCurrent{"Save Changes to current file?", "Changes Found",
                                BoxMessage::Buttons::YesNo, BoxMessage::Icon::Question};
const BoxMessage kSaveFailed{"Not all settings coud be loaded.", "Error Reading File",
                             BoxMessage::Buttons::Ok, BoxMessage::Icon::Information};
const BoxMessage kUploadFailed{"File could not be saved.", "Error Saving File",
                               BoxMessage::Buttons::Ok, BoxMessage::Icon::Stop};

// A failed save's box: the usual text, then a line naming the file and why.
BoxMessage because(BoxMessage box, const QString& file, const QString& why)
{
    box.text += '\n' + QDir::toNativeSeparators(file) + ": " + why;
    return box;
}
const QString kReadOnly = QStringLiteral("the file is read-only");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void makeReadOnly(const QString& path)
{
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser));
}

} // namespace

class TestSettingsDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openLoadsFileAndAttaches();
    void openOfNewNameGivesDefaultsAndFirstSaveCreatesIt();
    void openWithChangesAsksFirst();
    void openCancelledThenSaveOffersPreviousName();
    void saveAsCancelledLeavesNoFile();
    void saveButtonWithoutChangesStillWrites();
    void implicitSaveWithoutChangesDoesNothing();
    void builderStoredOnlyWhenThereAreChanges();
    void saveIntoOtherExistingFileKeepsItsKeys();
    void failedSaveLeavesFileAndFlags();
    void newWithOpenFile_data();
    void newWithOpenFile();
    void newWithoutFile_data();
    void newWithoutFile();
    void newKeepsNetworkChoice();
    void closeWithChanges_data();
    void closeWithChanges();
    void requestedSaveThatFailsKeepsEdits_data();
    void requestedSaveThatFailsKeepsEdits();
    void showWithoutFileMakesNewRecord();
    void showWithVanishedFolderLoadsDefaultsQuietly();
    void showThatCannotFillReportsOnPanel();
    void unreadableFileIsReportedOnce();
    void uploadOverExistingFileKeepsOlderBackup();
    void uploadOverFileWithoutBackupMakesOne();
    void uploadCancelledChangesNothing();
    void uploadThatCannotBeWrittenStaysInTheEditor();
    void transferQuestions_data();
    void transferQuestions();
    void downloadOfWhatIsNotASettingsFileIsRefused_data();
    void downloadOfWhatIsNotASettingsFileIsRefused();

private:
    QString saved(const QString& name) const { return dir_->filePath("SAVED/" + name); }
    // Loads a file written from the given record through Open.
    void openFileHolding(const QString& path, const SettingsRecord& record);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeView> view_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<SettingsDocument> doc_;
};

void TestSettingsDocument::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    view_ = std::make_unique<FakeView>();
    dialogs_ = std::make_unique<FakeDialogs>();
    doc_ = std::make_unique<SettingsDocument>(*view_, *dialogs_, dir_->path());
}

void TestSettingsDocument::cleanup()
{
    QCOMPARE(view_->busyDepth, 0);
    QVERIFY(dialogs_->scriptUsedUp());
    doc_.reset();
    dialogs_.reset();
    view_.reset();
    dir_.reset();
}

void TestSettingsDocument::openFileHolding(const QString& path, const SettingsRecord& record)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    IniDocument ini;
    writeSettings(ini, record);
    QVERIFY(ini.save(path));
    dialogs_->openPaths.enqueue(path);
    doc_->OpenButtonClick();
}

void TestSettingsDocument::openLoadsFileAndAttaches()
{
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::NoFile);
    QDir().mkpath(dir_->filePath("SAVED"));
    writeFile(saved("a.dat"), "[Configuration]\r\nCom1 Baud=6\r\n");
    dialogs_->openPaths.enqueue(saved("a.dat"));
    doc_->OpenButtonClick();

    QCOMPARE(dialogs_->openDialogs.size(), 1);
    QCOMPARE(dialogs_->openDialogs[0],
             (FileDialogSetup{"Open KX7400 file.", "Dat File (*.dat)", "DAT",
                              dir_->filePath("SAVED"), QString()}));
    QCOMPARE(view_->shown.value("Com1Baud"), QByteArray("6"));
    QCOMPARE(view_->fills, QList<FillReason>{FillReason::LoadedFile});
    QCOMPARE(view_->caption, "Parameters... (" + saved("a.dat") + ")");
    QCOMPARE(doc_->currentFileName(), saved("a.dat"));
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Attached);
    QVERIFY(doc_->canDownload());
    QVERIFY(!view_->changedFlag && !view_->keptFlag);
    QVERIFY(dialogs_->told.isEmpty());
}

void TestSettingsDocument::openOfNewNameGivesDefaultsAndFirstSaveCreatesIt()
{
    view_->shown = newSettingsRecord();
    dialogs_->openPaths.enqueue(saved("fresh.dat"));
    doc_->OpenButtonClick();

    QVERIFY(QFileInfo(dir_->filePath("SAVED")).isDir()); // Open made the settings folder
    QCOMPARE(view_->shown, defaultSettingsRecord());
    QCOMPARE(view_->caption, "Parameters... (" + saved("fresh.dat") + ")");
    QVERIFY(dialogs_->told.isEmpty());
    QVERIFY(!QFileInfo::exists(saved("fresh.dat")));

    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);
    QVERIFY(dialogs_->saveDialogs.isEmpty()); // attached: a plain save needs no dialog
    const SettingsRecord back = readSettings(IniDocument::fromBytes(readFile(saved("fresh.dat"))));
    QCOMPARE(back.value("Com1Baud"), QByteArray("3"));
}

void TestSettingsDocument::openWithChangesAsksFirst()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    view_->shown.setValue("Com1Baud", "5");
    view_->changedFlag = true;
    dialogs_->answers.enqueue(Answer::Yes);
    dialogs_->openPaths.enqueue(std::nullopt);
    doc_->OpenButtonClick();

    QCOMPARE(dialogs_->asked, QList<BoxMessage>{kSaveToCurrent});
    QCOMPARE(readSettings(IniDocument::fromBytes(readFile(saved("a.dat")))).value("Com1Baud"),
             QByteArray("5"));
}

void TestSettingsDocument::openCancelledThenSaveOffersPreviousName()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    const SettingsRecord before = view_->shown;
    dialogs_->openPaths.enqueue(std::nullopt);
    doc_->OpenButtonClick();

    QCOMPARE(view_->shown, before);
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Detached);
    QVERIFY(!doc_->canDownload());
    QCOMPARE(doc_->currentFileName(), saved("a.dat"));

    dialogs_->savePaths.enqueue(saved("b.dat"));
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);
    QCOMPARE(dialogs_->saveDialogs.size(), 1);
    QCOMPARE(dialogs_->saveDialogs[0].directory, dir_->filePath("SAVED"));
    QCOMPARE(dialogs_->saveDialogs[0].fileName, QString("a.dat"));
    QCOMPARE(dialogs_->saveDialogs[0].title, QString("Open KX7400 file."));
    QCOMPARE(doc_->currentFileName(), saved("b.dat"));
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Attached);
    QCOMPARE(view_->caption, "Parameters... (" + saved("b.dat") + ")");
    QVERIFY(QFileInfo::exists(saved("b.dat")));
}

void TestSettingsDocument::saveAsCancelledLeavesNoFile()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    const QByteArray onDisk = readFile(saved("a.dat"));
    view_->changedFlag = true;
    dialogs_->savePaths.enqueue(std::nullopt);
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveAsButton);

    QCOMPARE(dialogs_->saveDialogs[0].directory, dir_->filePath("SAVED"));
    QCOMPARE(dialogs_->saveDialogs[0].fileName, QString());
    QCOMPARE(view_->caption, QString("Parameters... "));
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::NoFile);
    QVERIFY(view_->changedFlag);
    QCOMPARE(readFile(saved("a.dat")), onDisk);

    // The next save starts over in the settings folder with no name.
    dialogs_->savePaths.enqueue(std::nullopt);
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);
    QCOMPARE(dialogs_->saveDialogs[1].directory, dir_->filePath("SAVED"));
    QCOMPARE(dialogs_->saveDialogs[1].fileName, QString());
}

void TestSettingsDocument::saveButtonWithoutChangesStillWrites()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    writeFile(saved("a.dat"), "[Configuration]\r\nForeign=1\r\n");
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);

    IniDocument back = IniDocument::fromBytes(readFile(saved("a.dat")));
    QCOMPARE(back.readString("Configuration", "Foreign"), QByteArray("1"));
    QCOMPARE(back.readString("Configuration", "Time"), QByteArray("1"));
    QVERIFY(dialogs_->told.isEmpty());
}

void TestSettingsDocument::implicitSaveWithoutChangesDoesNothing()
{
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::Other);
    QVERIFY(dialogs_->saveDialogs.isEmpty());
    QVERIFY(!QFileInfo::exists(dir_->filePath("SAVED")));
}

void TestSettingsDocument::builderStoredOnlyWhenThereAreChanges()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);
    QCOMPARE(view_->stores, 0);
    QCOMPARE(IniDocument::fromBytes(readFile(saved("a.dat")))
                 .readString("Custom Output", "Stream Format"),
             QByteArray("<A><B><C><G><T>"));

    view_->keptFlag = true; // edits made before a port switch count too
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);
    QCOMPARE(view_->stores, 1);
    QCOMPARE(IniDocument::fromBytes(readFile(saved("a.dat")))
                 .readString("Custom Output", "Stream Format"),
             QByteArray("<N>"));
    QVERIFY(!view_->keptFlag && !view_->changedFlag);
}

void TestSettingsDocument::saveIntoOtherExistingFileKeepsItsKeys()
{
    QDir().mkpath(dir_->filePath("SAVED"));
    writeFile(saved("other.dat"),
              "[Configuration]\r\nCustom Resolution=1\r\nMine=yes\r\n[Extra]\r\nk=v\r\n");
    view_->shown = newSettingsRecord();
    view_->shown.setValue("CustomResolution", ""); // nothing chosen: the key is skipped
    view_->changedFlag = true;
    dialogs_->savePaths.enqueue(saved("other.dat"));
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveAsButton);

    const IniDocument back = IniDocument::fromBytes(readFile(saved("other.dat")));
    QCOMPARE(back.readString("Configuration", "Custom Resolution"), QByteArray("1"));
    QCOMPARE(back.readString("Configuration", "Mine"), QByteArray("yes"));
    QCOMPARE(back.readString("Extra", "k"), QByteArray("v"));
    QCOMPARE(back.readString("Configuration", "Custom Name"), QByteArray("Barrels"));
    QVERIFY(dialogs_->asked.isEmpty()); // replacing keys asks nothing
}

void TestSettingsDocument::failedSaveLeavesFileAndFlags()
{
    openFileHolding(saved("ro.dat"), newSettingsRecord());
    const QByteArray onDisk = readFile(saved("ro.dat"));
    makeReadOnly(saved("ro.dat"));
    view_->shown.setValue("Com1Baud", "6");
    view_->changedFlag = true;
    view_->caption.clear();
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);

    QCOMPARE(dialogs_->told, QList<BoxMessage>{because(kSaveFailed, saved("ro.dat"), kReadOnly)});
    QCOMPARE(readFile(saved("ro.dat")), onDisk);
    QVERIFY(view_->changedFlag);
    QCOMPARE(view_->caption, "Parameters... (" + saved("ro.dat") + ")");
    QCOMPARE(QDir(dir_->filePath("SAVED")).entryList(QDir::Files), QStringList{"ro.dat"});
}

void TestSettingsDocument::newWithOpenFile_data()
{
    QTest::addColumn<bool>("changes");
    QTest::addColumn<bool>("saveThem");

    QTest::newRow("no changes, no question") << false << false;
    QTest::newRow("changes saved") << true << true;
    QTest::newRow("changes dropped") << true << false;
}

void TestSettingsDocument::newWithOpenFile()
{
    QFETCH(bool, changes);
    QFETCH(bool, saveThem);

    SettingsRecord loaded = newSettingsRecord();
    loaded.setValue("CustomName", "Tons");
    openFileHolding(saved("a.dat"), loaded);
    view_->shown.setValue("CustomName", "Edited");
    view_->changedFlag = changes;
    if (changes)
        dialogs_->answers.enqueue(saveThem ? Answer::Yes : Answer::No);
    doc_->NewButtonClick();

    QCOMPARE(dialogs_->asked, changes ? QList<BoxMessage>{kSaveChanges} : QList<BoxMessage>{});
    QVERIFY(dialogs_->saveDialogs.isEmpty()); // attached: the save needed no dialog
    const QByteArray expectedOnDisk = saveThem ? "Edited" : "Tons";
    QCOMPARE(
        IniDocument::fromBytes(readFile(saved("a.dat"))).readString("Configuration", "Custom Name"),
        expectedOnDisk);
    QCOMPARE(view_->shown.value("CustomName"), QByteArray("Barrels"));
    QCOMPARE(view_->fills.last(), FillReason::NewRecord);
    QCOMPARE(view_->caption, QString("Parameters Editor"));
    QVERIFY(view_->changedFlag); // a new record counts as unsaved
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Detached);
    QCOMPARE(doc_->currentFileName(), saved("a.dat"));

    // Closing without saving and showing again reloads the file from disk.
    dialogs_->answers.enqueue(Answer::No);
    doc_->FormCloseQuery();
    doc_->LoadOnShow();
    QCOMPARE(view_->shown.value("CustomName"), expectedOnDisk);
    QVERIFY(!view_->changedFlag);
}

void TestSettingsDocument::newWithoutFile_data()
{
    QTest::addColumn<bool>("changes");
    QTest::addColumn<bool>("saveThem");

    QTest::newRow("no changes, no question") << false << false;
    QTest::newRow("changes dropped on No") << true << false;
    QTest::newRow("changes saved through the dialog") << true << true;
}

void TestSettingsDocument::newWithoutFile()
{
    QFETCH(bool, changes);
    QFETCH(bool, saveThem);

    doc_->NewButtonClick();
    view_->changedFlag = changes;
    view_->shown.setValue("CustomName", "Edited");
    if (changes)
        dialogs_->answers.enqueue(saveThem ? Answer::Yes : Answer::No);
    if (saveThem)
        dialogs_->savePaths.enqueue(saved("kept.dat"));
    doc_->NewButtonClick();

    // Unsaved edits are never dropped without a question, file or no file.
    QCOMPARE(dialogs_->asked, changes ? QList<BoxMessage>{kSaveChanges} : QList<BoxMessage>{});
    QCOMPARE(QFileInfo::exists(saved("kept.dat")), saveThem);
    if (saveThem) {
        QCOMPARE(dialogs_->saveDialogs[0].directory, dir_->filePath("SAVED"));
        QCOMPARE(IniDocument::fromBytes(readFile(saved("kept.dat")))
                     .readString("Configuration", "Custom Name"),
                 QByteArray("Edited"));
    }
    QCOMPARE(view_->shown.value("CustomName"), QByteArray("Barrels"));
    QVERIFY(view_->changedFlag);
    QCOMPARE(doc_->situation(), saveThem ? SettingsDocument::Situation::Detached
                                         : SettingsDocument::Situation::NoFile);
}

void TestSettingsDocument::newKeepsNetworkChoice()
{
    view_->shown.setValue("NEEthernet", "1");
    doc_->NewButtonClick();
    QCOMPARE(view_->shown.value("NEEthernet"), QByteArray("1"));
    SettingsRecord expected = newSettingsRecord();
    expected.setValue("NEEthernet", "1");
    QCOMPARE(view_->shown, expected);
}

void TestSettingsDocument::closeWithChanges_data()
{
    QTest::addColumn<bool>("saveThem");
    QTest::newRow("Yes saves") << true;
    QTest::newRow("No drops") << false;
}

void TestSettingsDocument::closeWithChanges()
{
    QFETCH(bool, saveThem);

    openFileHolding(saved("a.dat"), newSettingsRecord());
    const QByteArray onDisk = readFile(saved("a.dat"));
    view_->shown.setValue("Com2Baud", "6");
    view_->changedFlag = true;
    dialogs_->answers.enqueue(saveThem ? Answer::Yes : Answer::No);
    QVERIFY(doc_->FormCloseQuery());

    QCOMPARE(dialogs_->asked, QList<BoxMessage>{kSaveChanges});
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Detached);
    QCOMPARE(doc_->currentFileName(), saved("a.dat"));
    if (saveThem)
        QCOMPARE(IniDocument::fromBytes(readFile(saved("a.dat")))
                     .readString("Configuration", "Com2 Baud"),
                 QByteArray("6"));
    else
        QCOMPARE(readFile(saved("a.dat")), onDisk);
}

void TestSettingsDocument::requestedSaveThatFailsKeepsEdits_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("withFile"); // attached to a read-only file, or no file at all

    for (const char* op : {"New", "Open", "Close"}) {
        QTest::addRow("%s, file refuses the save", op) << QString(op) << true;
        QTest::addRow("%s, save dialog cancelled", op) << QString(op) << false;
    }
}

void TestSettingsDocument::requestedSaveThatFailsKeepsEdits()
{
    QFETCH(QString, operation);
    QFETCH(bool, withFile);

    if (withFile) {
        openFileHolding(saved("ro.dat"), newSettingsRecord());
        makeReadOnly(saved("ro.dat"));
    } else {
        doc_->NewButtonClick();
        dialogs_->savePaths.enqueue(std::nullopt);
    }
    view_->shown.setValue("CustomName", "Edited");
    view_->changedFlag = true;
    const auto situation = doc_->situation();
    const int fills = view_->fills.size();
    const int openDialogs = dialogs_->openDialogs.size();
    dialogs_->answers.enqueue(Answer::Yes);

    if (operation == u"New")
        doc_->NewButtonClick();
    else if (operation == u"Open")
        doc_->OpenButtonClick();
    else
        QVERIFY(!doc_->FormCloseQuery()); // the window stays open

    // The user asked for the edits to be kept: they are all still there, and still unsaved.
    QCOMPARE(dialogs_->told,
             withFile ? QList<BoxMessage>{because(kSaveFailed, saved("ro.dat"), kReadOnly)}
                      : QList<BoxMessage>{});
    QCOMPARE(view_->shown.value("CustomName"), QByteArray("Edited"));
    QCOMPARE(view_->fills.size(), fills);
    QVERIFY(view_->changedFlag);
    QCOMPARE(dialogs_->openDialogs.size(), openDialogs);
    QCOMPARE(doc_->situation(), situation);
}

void TestSettingsDocument::showWithoutFileMakesNewRecord()
{
    view_->changedFlag = true;
    view_->keptFlag = true;
    doc_->LoadOnShow();
    QCOMPARE(view_->shown, newSettingsRecord());
    QCOMPARE(view_->fills, QList<FillReason>{FillReason::NewRecord});
    QCOMPARE(view_->caption, QString("untouched"));
    QVERIFY(!view_->changedFlag && !view_->keptFlag);

    // Closing at once asks nothing.
    doc_->FormCloseQuery();
    QVERIFY(dialogs_->asked.isEmpty());
}

void TestSettingsDocument::showWithVanishedFolderLoadsDefaultsQuietly()
{
    doc_->setCurrentFileName(dir_->filePath("gone/a.dat"));
    view_->shown = newSettingsRecord();
    doc_->LoadOnShow();
    QCOMPARE(view_->shown, defaultSettingsRecord());
    QVERIFY(dialogs_->told.isEmpty());
    QVERIFY(view_->errorPanel.isEmpty());
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Attached);
}

void TestSettingsDocument::showThatCannotFillReportsOnPanel()
{
    view_->refuseShow = true;
    view_->changedFlag = true;
    doc_->LoadOnShow();
    QCOMPARE(view_->errorPanel, QString("Error occurred! Unable to load defaults."));
    QVERIFY(!view_->changedFlag);
}

void TestSettingsDocument::unreadableFileIsReportedOnce()
{
    // A folder in place of the file: it exists but cannot be read as one.
    QDir().mkpath(saved("folder.dat"));
    dialogs_->openPaths.enqueue(saved("folder.dat"));
    doc_->OpenButtonClick();

    QCOMPARE(dialogs_->told, QList<BoxMessage>{kSaveFailed});
    QCOMPARE(view_->shown, defaultSettingsRecord());
    QVERIFY(!view_->changedFlag);
    QCOMPARE(view_->caption, "Parameters... (" + saved("folder.dat") + ")");
}

void TestSettingsDocument::uploadOverExistingFileKeepsOlderBackup()
{
    QDir().mkpath(dir_->filePath("SAVED"));
    writeFile(saved("x.dat"), "[Configuration]\r\nCom1 Baud=1\r\n");
    writeFile(saved("x.dat.bak"), "[Configuration]\r\nCom1 Baud=0\r\n");
    view_->changedFlag = true;
    dialogs_->savePaths.enqueue(saved("x.dat"));
    QVERIFY(doc_->SaveUploadedSettings({"[Configuration]", "Com1 Baud=6"}));

    QCOMPARE(readFile(saved("x.dat")), QByteArray("[Configuration]\r\nCom1 Baud=6\r\n"));
    QCOMPARE(readFile(saved("x.dat.bak")), QByteArray("[Configuration]\r\nCom1 Baud=0\r\n"));
    QCOMPARE(view_->shown.value("Com1Baud"), QByteArray("6"));
    QCOMPARE(doc_->currentFileName(), saved("x.dat"));
    QCOMPARE(doc_->situation(), SettingsDocument::Situation::Attached);
    QCOMPARE(view_->caption, "Parameters... (" + saved("x.dat") + ")");
    QVERIFY(!view_->changedFlag);
}

void TestSettingsDocument::uploadOverFileWithoutBackupMakesOne()
{
    QDir().mkpath(dir_->filePath("SAVED"));
    writeFile(saved("x.dat"), "old\r\n");
    dialogs_->savePaths.enqueue(saved("x.dat"));
    QVERIFY(doc_->SaveUploadedSettings({"[Ticket]", "Printer=3"}));
    QCOMPARE(readFile(saved("x.dat.bak")), QByteArray("old\r\n"));
    QCOMPARE(readFile(saved("x.dat")), QByteArray("[Ticket]\r\nPrinter=3\r\n"));
}

void TestSettingsDocument::uploadCancelledChangesNothing()
{
    dialogs_->savePaths.enqueue(std::nullopt);
    QVERIFY(!doc_->SaveUploadedSettings({"[Ticket]", "Printer=3"}));
    QCOMPARE(dialogs_->saveDialogs[0].directory, dir_->filePath("SAVED"));
    QVERIFY(!QFileInfo::exists(dir_->filePath("SAVED"))); // not created for an upload
    QCOMPARE(doc_->currentFileName(), SettingsDocument::NoFileName);
    QVERIFY(view_->fills.isEmpty());
}

void TestSettingsDocument::uploadThatCannotBeWrittenStaysInTheEditor()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    const QByteArray a = readFile(saved("a.dat"));
    writeFile(saved("x.dat"), "old\r\n");
    makeReadOnly(saved("x.dat"));
    dialogs_->savePaths.enqueue(saved("x.dat"));
    QVERIFY(!doc_->SaveUploadedSettings({"[Ticket]", "Printer=3"}));

    QCOMPARE(dialogs_->told,
             QList<BoxMessage>{because(kUploadFailed, saved("x.dat"), kReadOnly)});
    QCOMPARE(readFile(saved("x.dat")), QByteArray("old\r\n"));
    QVERIFY(!QFileInfo::exists(saved("x.dat.bak")));
    // Nothing received is lost: the setup is in the editor, unsaved, and tied to no file, so
    // a Save asks where to keep it and the file that was open is not overwritten unasked.
    QCOMPARE(view_->shown.value("Printer"), QByteArray("3"));
    QVERIFY(view_->changedFlag);
    QCOMPARE(doc_->currentFileName(), SettingsDocument::NoFileName);
    QCOMPARE(doc_->openFile(), std::nullopt);
    QCOMPARE(view_->caption, QString("Parameters... "));
    QCOMPARE(readFile(saved("a.dat")), a);
}

void TestSettingsDocument::transferQuestions_data()
{
    QTest::addColumn<QString>("direction");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<bool>("goesAhead");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QStringList>("messages");
    const QString save = "Save Changes?", lost = "Existing KX7400 settings will be lost?";
    const QString noFile = "Save settings or open an existing file.";
    using L = QList<Answer>;
    QTest::newRow("upload, nothing to save") << "up" << true << false << L{} << true
                                             << QStringList{} << QStringList{};
    QTest::newRow("upload over edits, not saved") << "up" << true << true << L{Answer::No} << true
                                                  << QStringList{save} << QStringList{};
    QTest::newRow("upload over edits, save cancelled")
        << "up" << false << true << L{Answer::Yes} << false << QStringList{save} << QStringList{};
    QTest::newRow("download confirmed") << "down" << true << false << L{Answer::Yes} << true
                                        << QStringList{lost} << QStringList{};
    QTest::newRow("download refused") << "down" << true << false << L{Answer::No} << false
                                      << QStringList{lost} << QStringList{};
    QTest::newRow("download without a file") << "down" << false << false << L{} << false
                                             << QStringList{} << QStringList{noFile};
    QTest::newRow("download over edits saved, then confirmed")
        << "down" << true << true << L{Answer::Yes, Answer::Yes} << true
        << QStringList{save, lost} << QStringList{};
}

void TestSettingsDocument::transferQuestions()
{
    QFETCH(QString, direction);
    QFETCH(bool, withFile);
    QFETCH(bool, changes);
    QFETCH(QList<Answer>, answers);
    QFETCH(bool, goesAhead);
    QFETCH(QStringList, questions);
    QFETCH(QStringList, messages);
    if (withFile)
        openFileHolding(saved("a.dat"), newSettingsRecord());
    view_->changedFlag = changes;
    for (Answer a : answers)
        dialogs_->answers.enqueue(a);
    if (!withFile && changes && !answers.isEmpty() && answers.first() == Answer::Yes)
        dialogs_->savePaths.enqueue(std::nullopt); // a save without a file asks: cancelled
    const bool ahead = direction == u"up" ? doc_->prepareUpload() : doc_->prepareDownload();
    QCOMPARE(ahead, goesAhead);
    QStringList asked, told;
    for (const BoxMessage& b : dialogs_->asked)
        asked << b.text;
    for (const BoxMessage& b : dialogs_->told)
        told << b.text;
    QCOMPARE(asked, questions);
    QCOMPARE(told, messages);
}

void TestSettingsDocument::downloadOfWhatIsNotASettingsFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("emptied") << QByteArray() << "the file is empty, not a settings file";
    QTest::newRow("binary") << QByteArray("[Configuration]\r\n\0\0", 19)
                            << "the file holds NUL bytes: binary data, not a settings file";
    QTest::newRow("only a section header")
        << QByteArray("[Configuration]\r\n")
        << "the file holds no setting of a settings file (no [Configuration], [Calibration], "
           "... section with its keys)";
}

// The file on disk is what a download sends: one that has become something else since it was
// opened is refused with the file and the reason, before the question and before any byte.
void TestSettingsDocument::downloadOfWhatIsNotASettingsFileIsRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    openFileHolding(saved("a.dat"), newSettingsRecord());
    QFile file(saved("a.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QVERIFY(!doc_->prepareDownload());
    QCOMPARE(dialogs_->asked.size(), 0);
    QCOMPARE(dialogs_->told.size(), 1);
    QCOMPARE(dialogs_->told[0].text,
             QDir::toNativeSeparators(saved("a.dat")) + ": " + reason + "\nNothing was sent.");
    QCOMPARE(dialogs_->told[0].caption, QString("DOWNLOAD NEW SETTINGS TO KX7400"));
}

QTEST_GUILESS_MAIN(TestSettingsDocument)
#include "tst_settingsdocument.moc"
