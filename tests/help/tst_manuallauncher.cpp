#include "FakeDialogs.h"

#include "help/ManualLauncher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

// Finding the PDF reader and opening the manual with it. Paths in the tables are written
// with placeholders: READER and OTHER are existing programs, GONE names nothing, DEFAULT is
// the default reader.
class ManualLauncherTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    ManualLauncher::Places places;
    QList<std::pair<QString, QStringList>> started;
    bool startSucceeds = true;

    QString path(const QString& name) const { return dir->filePath(name); }
    QString expand(QString text) const
    {
        return text.replace(QLatin1String("READER"), path("bin/acroread"))
            .replace(QLatin1String("OTHER"), path("bin/evince"))
            .replace(QLatin1String("GONE"), path("bin/removed"))
            .replace(QLatin1String("DEFAULT"), path("bin/xdg-open"));
    }
    QString shared() const { return QDir(places.sharedFolder).filePath("ADOBE.INI"); }
    QByteArray iniNaming(const QString& reader) const
    {
        return "[Adobe Reader]\r\nDirectory=" + QFile::encodeName(expand(reader)) + "\r\n";
    }
    std::unique_ptr<ManualLauncher> makeLauncher()
    {
        return std::make_unique<ManualLauncher>(
            places, [this](const QString& program, const QStringList& args) {
                started.append({program, args});
                return startSucceeds;
            });
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        // The maker's folder does not exist yet, nor do its parents.
        places = {path("home/config/Morvell Scales"), path("program"),
                  path("install/my \"manuals\"/60387.PDF"), path("bin/xdg-open")};
        QDir().mkpath(places.programFolder);
        for (const char* program : {"bin/acroread", "bin/evince", "bin/xdg-open"})
            writeFile(path(program), "#!/bin/sh\n");
        started.clear();
        startSucceeds = true;
    }

    void setUpReader_data()
    {
        QTest::addColumn<QString>("sharedFile");  // empty: no such file
        QTest::addColumn<QString>("programFile"); // empty: no such file
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("sharedAfter"); // the reader the shared file names

        QTest::newRow("neither file") << ""
                                      << ""
                                      << "DEFAULT"
                                      << "DEFAULT";
        QTest::newRow("program file copied on first run") << ""
                                                          << "READER"
                                                          << "READER"
                                                          << "READER";
        QTest::newRow("program file naming a missing reader") << ""
                                                              << "GONE"
                                                              << "DEFAULT"
                                                              << "DEFAULT";
        QTest::newRow("shared file wins") << "READER"
                                          << "OTHER"
                                          << "READER"
                                          << "READER";
        QTest::newRow("shared file naming a missing reader is left as it is") << "GONE"
                                                                              << "READER"
                                                                              << "DEFAULT"
                                                                              << "GONE";
    }
    void setUpReader()
    {
        QFETCH(QString, sharedFile);
        QFETCH(QString, programFile);
        QFETCH(QString, reader);
        QFETCH(QString, sharedAfter);
        if (!sharedFile.isEmpty())
            writeFile(shared(), iniNaming(sharedFile));
        if (!programFile.isEmpty())
            writeFile(QDir(places.programFolder).filePath("Adobe.Ini"), iniNaming(programFile));

        auto launcher = makeLauncher();
        launcher->SetUpReader();
        QCOMPARE(launcher->readerPath(), expand(reader));
        QCOMPARE(readAll(shared()), iniNaming(sharedAfter));
    }

    void sharedFileWithoutTheKeyGivesTheDefaultAndStaysAsItWas()
    {
        writeFile(shared(), "[Other]\r\nKey=1\r\n");
        auto launcher = makeLauncher();
        launcher->SetUpReader();
        QCOMPARE(launcher->readerPath(), expand("DEFAULT"));
        QCOMPARE(readAll(shared()), QByteArray("[Other]\r\nKey=1\r\n"));
    }

    void storingTheReaderKeepsTheSharedFilesOtherKeys()
    {
        writeFile(shared(),
                  "; kept\r\n[Adobe Reader]\r\nDirectory=x\r\nLanguage=en\r\n[Other]\r\nA=1\r\n");
        auto launcher = makeLauncher();
        launcher->StoreReaderPath(expand("READER"));
        QCOMPARE(readAll(shared()),
                 "; kept\r\n[Adobe Reader]\r\nDirectory=" + QFile::encodeName(expand("READER")) +
                     "\r\nLanguage=en\r\n[Other]\r\nA=1\r\n");
    }

    void opButtonClick_data()
    {
        QTest::addColumn<QString>("known");       // the reader path found at start-up
        QTest::addColumn<bool>("defaultExists");  // whether the desktop's opener is installed
        QTest::addColumn<QStringList>("choices"); // the dialog's answers; "cancel" cancels
        QTest::addColumn<bool>("startWorks");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("startedReader"); // empty: nothing started
        QTest::addColumn<bool>("failureShown");
        QTest::addColumn<QString>("sharedAfter"); // empty: the shared file was not written

        using O = ManualLauncher::Outcome;
        QTest::newRow("known reader") << "READER" << true << QStringList() << true
                                      << int(O::Started) << "READER" << false << "";
        QTest::newRow("reader cannot start") << "READER" << true << QStringList() << false
                                             << int(O::StartFailed) << "READER" << true << "";
        QTest::newRow("reader gone, dialog cancelled")
            << "GONE" << false << QStringList{"cancel"} << true << int(O::NoReader) << "" << false
            << "";
        QTest::newRow("reader gone, another chosen")
            << "GONE" << false << QStringList{"OTHER"} << true << int(O::Started) << "OTHER"
            << false << "OTHER";
        QTest::newRow("chosen reader vanished, default installed")
            << "GONE" << true << QStringList{"GONE"} << true << int(O::Started) << "DEFAULT"
            << false << "DEFAULT";
        QTest::newRow("chosen reader vanished, no default")
            << "GONE" << false << QStringList{"GONE"} << true << int(O::NoReader) << "" << false
            << "DEFAULT";
    }
    void opButtonClick()
    {
        QFETCH(QString, known);
        QFETCH(bool, defaultExists);
        QFETCH(QStringList, choices);
        QFETCH(bool, startWorks);
        QFETCH(int, outcome);
        QFETCH(QString, startedReader);
        QFETCH(bool, failureShown);
        QFETCH(QString, sharedAfter);

        auto launcher = makeLauncher();
        // The known reader exists while the program starts and may vanish afterwards.
        writeFile(expand("GONE"), "");
        launcher->StoreReaderPath(expand(known));
        QFile::remove(expand("GONE"));
        QFile::remove(shared());
        if (!defaultExists)
            QFile::remove(expand("DEFAULT"));
        startSucceeds = startWorks;
        FakeDialogs dialogs;
        for (const QString& c : choices)
            dialogs.openPaths.enqueue(c == QLatin1String("cancel") ? std::nullopt
                                                                   : std::optional(expand(c)));

        QCOMPARE(int(launcher->OpButtonClick(dialogs)), outcome);

        QVERIFY(dialogs.scriptUsedUp());
        QCOMPARE(dialogs.openDialogs.size(), choices.size());
        for (const FileDialogSetup& setup : dialogs.openDialogs)
            QCOMPARE(setup.title, QStringLiteral("Search for AcroRd32.exe..."));
        if (startedReader.isEmpty()) {
            QVERIFY(started.isEmpty());
        } else {
            QCOMPARE(started.size(), 1);
            QCOMPARE(started.at(0).first, expand(startedReader));
            // One argument, as it stands: the blanks and quotes of the path need no quoting.
            QCOMPARE(started.at(0).second, QStringList{places.manual});
        }
        if (failureShown) {
            QCOMPARE(dialogs.told.size(), 1);
            QCOMPARE(dialogs.told.at(0),
                     (BoxMessage{"Could not create process", "FAILURE", BoxMessage::Buttons::Ok,
                                 BoxMessage::Icon::Information}));
        } else {
            QVERIFY(dialogs.told.isEmpty());
        }
        QCOMPARE(readAll(shared()), sharedAfter.isEmpty() ? QByteArray() : iniNaming(sharedAfter));
    }

    void theRealReaderGetsTheManualsPathAsOneArgument()
    {
#ifdef Q_OS_WIN
        QSKIP("the recording reader is a shell script");
#endif
        // A reader that writes down the arguments it was given, one per line.
        const QString reader = path("bin/recording reader");
        const QString record = path("arguments.txt");
        writeFile(reader, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                              QFile::encodeName(record) + "'\n");
        QFile::setPermissions(reader, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ManualLauncher launcher(places); // starts programs for real
        launcher.StoreReaderPath(reader);
        FakeDialogs dialogs;
        QCOMPARE(launcher.OpButtonClick(dialogs), ManualLauncher::Outcome::Started);
        QTRY_COMPARE_WITH_TIMEOUT(readAll(record), QFile::encodeName(places.manual) + "\n", 10000);
    }

    // Away from Windows the desktop's opener opens the manual; nothing is searched for, and
    // when no opener is there, or it finds nothing to open PDF files with, the user is told
    // where the manual is.
    void theDesktopOpensTheManual_data()
    {
        QTest::addColumn<bool>("openerThere");
        QTest::addColumn<int>("openerExit"); // -1: the fake opener, answering at once
        QTest::addColumn<bool>("told");
        QTest::newRow("a viewer answers") << true << 0 << false;
        QTest::newRow("no viewer for PDF files") << true << 3 << true;
        QTest::newRow("no opener at all") << false << 0 << true;
    }
    void theDesktopOpensTheManual()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows looks for the reader instead, and the fake opener is a shell script");
#endif
        QFETCH(bool, openerThere);
        QFETCH(int, openerExit);
        QFETCH(bool, told);
        // An opener that ends as the desktop's does: 0 when it handed the file on.
        const QString opener = path("bin/opener");
        if (openerThere) {
            writeFile(opener, "#!/bin/sh\nexit " + QByteArray::number(openerExit) + "\n");
            QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        places.defaultReader = opener;
        places.searchReader = false;
        ManualLauncher launcher(places); // runs the opener for real
        launcher.SetUpReader();
        FakeDialogs dialogs;
        const auto outcome = launcher.OpButtonClick(dialogs);
        QCOMPARE(outcome, openerThere ? ManualLauncher::Outcome::Started
                                      : ManualLauncher::Outcome::StartFailed);
        QVERIFY(dialogs.openDialogs.isEmpty()); // no reader is searched for
        if (told) {
            QTRY_COMPARE_WITH_TIMEOUT(dialogs.told.size(), 1, 10000);
            QVERIFY(dialogs.told[0].text.contains(QDir::toNativeSeparators(places.manual)));
            QCOMPARE(dialogs.told[0].caption, QStringLiteral("Operators Manual"));
        } else {
            QTest::qWait(300);
            QVERIFY(dialogs.told.isEmpty());
        }
    }

    void aSharedFolderThatCannotBeMadeLeavesTheRunsReader()
    {
        // A file where the maker's folder should be: neither folder nor file can be created.
        writeFile(path("home/config"), "not a folder");
        writeFile(QDir(places.programFolder).filePath("Adobe.Ini"), iniNaming("READER"));
        auto launcher = makeLauncher();
        launcher->SetUpReader();
        QCOMPARE(launcher->readerPath(), expand("READER"));
        QVERIFY(!QFileInfo::exists(shared()));
    }
};

QTEST_MAIN(ManualLauncherTest)
#include "tst_manuallauncher.moc"
