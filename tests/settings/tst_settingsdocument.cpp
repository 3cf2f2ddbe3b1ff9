#include "SettingsDocumentFixture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace kx;
using namespace kx::test;

// Opening a settings file, a new record, closing, and what showing the editor loads.
class TestSettingsDocument : public QObject, SettingsDocumentFixture
{
    Q_OBJECT

private slots:
    void init() { startCase(); }
    void cleanup() { endCase(); }

    void openLoadsFileAndAttaches();
    void openOfNewNameGivesDefaultsAndFirstSaveCreatesIt();
    void openWithChangesAsksFirst();
    void openCancelledThenSaveOffersPreviousName();
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
};

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

QTEST_GUILESS_MAIN(TestSettingsDocument)
#include "tst_settingsdocument.moc"
