#include "SettingsDocumentFixture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace kx;
using namespace kx::test;

// Save and Save As, keeping what an upload received, and the checks before a transfer.
class TestSettingsDocumentSave : public QObject, SettingsDocumentFixture
{
    Q_OBJECT

private slots:
    void init() { startCase(); }
    void cleanup() { endCase(); }

    void saveAsCancelledLeavesNoFile();
    void saveButtonWithoutChangesStillWrites();
    void implicitSaveWithoutChangesDoesNothing();
    void builderStoredOnlyWhenThereAreChanges();
    void saveIntoOtherExistingFileKeepsItsKeys();
    void failedSaveLeavesFileAndFlags();
    void uploadOverExistingFileKeepsOlderBackup();
    void uploadOverFileWithoutBackupMakesOne();
    void uploadCancelledChangesNothing();
    void saveDialogNeverStartsBesideTheSettingsFolder_data();
    void saveDialogNeverStartsBesideTheSettingsFolder();
    void uploadThatCannotBeWrittenStaysInTheEditor();
    void transferQuestions_data();
    void transferQuestions();
    void downloadOfWhatIsNotASettingsFileIsRefused_data();
    void downloadOfWhatIsNotASettingsFileIsRefused();
};

void TestSettingsDocumentSave::saveAsCancelledLeavesNoFile()
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

void TestSettingsDocumentSave::saveButtonWithoutChangesStillWrites()
{
    openFileHolding(saved("a.dat"), newSettingsRecord());
    writeFile(saved("a.dat"), "[Configuration]\r\nForeign=1\r\n");
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::SaveButton);

    IniDocument back = IniDocument::fromBytes(readFile(saved("a.dat")));
    QCOMPARE(back.readString("Configuration", "Foreign"), QByteArray("1"));
    QCOMPARE(back.readString("Configuration", "Time"), QByteArray("1"));
    QVERIFY(dialogs_->told.isEmpty());
}

void TestSettingsDocumentSave::implicitSaveWithoutChangesDoesNothing()
{
    doc_->SaveButtonClick(SettingsDocument::SaveCaller::Other);
    QVERIFY(dialogs_->saveDialogs.isEmpty());
    QVERIFY(!QFileInfo::exists(dir_->filePath("SAVED")));
}

void TestSettingsDocumentSave::builderStoredOnlyWhenThereAreChanges()
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

void TestSettingsDocumentSave::saveIntoOtherExistingFileKeepsItsKeys()
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

void TestSettingsDocumentSave::failedSaveLeavesFileAndFlags()
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

void TestSettingsDocumentSave::uploadOverExistingFileKeepsOlderBackup()
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

void TestSettingsDocumentSave::uploadOverFileWithoutBackupMakesOne()
{
    QDir().mkpath(dir_->filePath("SAVED"));
    writeFile(saved("x.dat"), "old\r\n");
    dialogs_->savePaths.enqueue(saved("x.dat"));
    QVERIFY(doc_->SaveUploadedSettings({"[Ticket]", "Printer=3"}));
    QCOMPARE(readFile(saved("x.dat.bak")), QByteArray("old\r\n"));
    QCOMPARE(readFile(saved("x.dat")), QByteArray("[Ticket]\r\nPrinter=3\r\n"));
}

void TestSettingsDocumentSave::uploadCancelledChangesNothing()
{
    dialogs_->savePaths.enqueue(std::nullopt);
    QVERIFY(!doc_->SaveUploadedSettings({"[Ticket]", "Printer=3"}));
    QCOMPARE(dialogs_->saveDialogs[0].directory, dir_->filePath("SAVED"));
    // Made before the dialog, so that it starts in the folder Open looks in, not beside it.
    QVERIFY(QFileInfo(dir_->filePath("SAVED")).isDir());
    QCOMPARE(dialogs_->saveDialogs[0].fileName, QString());
    QCOMPARE(doc_->currentFileName(), SettingsDocument::NoFileName);
    QVERIFY(view_->fills.isEmpty());
}

// A current file whose folder has gone, or a name that is a folder's: the save dialog starts
// in the settings folder and never offers a folder's name as the file's.
void TestSettingsDocumentSave::saveDialogNeverStartsBesideTheSettingsFolder_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("prefilled");
    QTest::newRow("folder gone") << "gone/scale.dat"
                                 << "scale.dat";
    QTest::newRow("a folder's name") << "SAVED"
                                     << "";
}

void TestSettingsDocumentSave::saveDialogNeverStartsBesideTheSettingsFolder()
{
    QFETCH(QString, current);
    QFETCH(QString, prefilled);
    doc_->setCurrentFileName(dir_->filePath(current));
    dialogs_->savePaths.enqueue(std::nullopt);
    QVERIFY(!doc_->SaveUploadedSettings({"[Ticket]", "Printer=3"}));
    QCOMPARE(dialogs_->saveDialogs[0].directory, dir_->filePath("SAVED"));
    QCOMPARE(dialogs_->saveDialogs[0].fileName, prefilled);
}

void TestSettingsDocumentSave::uploadThatCannotBeWrittenStaysInTheEditor()
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

void TestSettingsDocumentSave::transferQuestions_data()
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

void TestSettingsDocumentSave::transferQuestions()
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

void TestSettingsDocumentSave::downloadOfWhatIsNotASettingsFileIsRefused_data()
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
    QTest::newRow("a value the capacity box would not take")
        << QByteArray("[Calibration]\r\nScale Capacity=abc\r\n")
        << "a value cannot be sent:\n  line 2: Scale Capacity=abc is not a number (digits with "
           "at most one decimal point).";
}

// The file on disk is what a download sends: one that has become something else since it was
// opened is refused with the file and the reason, before the question and before any byte.
void TestSettingsDocumentSave::downloadOfWhatIsNotASettingsFileIsRefused()
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
    QVERIFY(!doc_->checkedDownload());
}

QTEST_GUILESS_MAIN(TestSettingsDocumentSave)
#include "tst_settingsdocument_save.moc"
