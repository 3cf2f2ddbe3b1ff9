#include "help/ManualLauncher.h"

#include "settings/DocumentDialogs.h"
#include "settings/IniDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace kx {

namespace {

const QByteArray Section = QByteArrayLiteral("Adobe Reader");
const QByteArray Key = QByteArrayLiteral("Directory");

bool fileAt(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace

ManualLauncher::ManualLauncher(Places places, StartDetached start)
    : places_(std::move(places)), start_(std::move(start)), readerPath_(places_.defaultReader)
{
    if (!start_) {
        start_ = [](const QString& program, const QStringList& args) {
            return QProcess::startDetached(program, args);
        };
    }
}

ManualLauncher::Places ManualLauncher::standardPlaces(const QString& programFolder,
                                                      const QString& installFolder)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {QDir(config).filePath(QStringLiteral("Morvell Scales")), programFolder,
            QDir(installFolder).filePath(ManualFileName), desktopOpener()};
}

QString ManualLauncher::desktopOpener()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    // Not installed: a path that names no file, so opening the manual asks for a reader.
    return found.isEmpty() ? QStringLiteral("/usr/bin/xdg-open") : found;
}

FileDialogSetup ManualLauncher::readerDialogSetup()
{
    // Readers on this system are programs without an extension, found in the program folder.
    return {QStringLiteral("Search for AcroRd32.exe..."), QStringLiteral("*"), QString(),
            QStringLiteral("/usr/bin"), QString()};
}

QString ManualLauncher::sharedFile() const
{
    return QDir(places_.sharedFolder).filePath(SharedFileName);
}

void ManualLauncher::SetUpReader()
{
    QDir().mkpath(places_.sharedFolder);
    const bool sharedMissing = !QFileInfo::exists(sharedFile());
    const QString source =
        sharedMissing ? QDir(places_.programFolder).filePath(ProgramFileName) : sharedFile();
    IniDocument ini;
    // A file that cannot be read leaves the reader path as it was.
    if (!QFileInfo::exists(source) || ini.load(source)) {
        readerPath_ = QFile::decodeName(
            ini.readString(Section, Key, QFile::encodeName(places_.defaultReader)));
    }
    if (!fileAt(readerPath_))
        readerPath_ = places_.defaultReader;
    if (sharedMissing)
        StoreReaderPath(readerPath_);
}

void ManualLauncher::StoreReaderPath(const QString& path)
{
    QDir().mkpath(places_.sharedFolder);
    readerPath_ = fileAt(path) ? path : places_.defaultReader;
    IniDocument ini;
    if (QFileInfo::exists(sharedFile()) && !ini.load(sharedFile()))
        return; // rewriting an unreadable file would lose what it holds
    ini.writeString(Section, Key, QFile::encodeName(readerPath_));
    ini.save(sharedFile());
}

ManualLauncher::Outcome ManualLauncher::OpButtonClick(DocumentDialogs& dialogs)
{
    if (!fileAt(readerPath_)) {
        if (const auto chosen = dialogs.chooseFileToOpen(readerDialogSetup()))
            StoreReaderPath(*chosen);
    }
    if (!fileAt(readerPath_))
        return Outcome::NoReader;
    // The manual's path is one argument, so spaces and quotes in it need no quoting.
    if (start_(readerPath_, {places_.manual}))
        return Outcome::Started;
    dialogs.tell({QStringLiteral("Could not create process"), QStringLiteral("FAILURE"),
                  BoxMessage::Buttons::Ok, BoxMessage::Icon::Information});
    return Outcome::StartFailed;
}

bool ManualLauncher::openDocument(const QString& path)
{
    const QString reader = fileAt(readerPath_) ? readerPath_ : places_.defaultReader;
    return !reader.isEmpty() && start_(reader, {path});
}

} // namespace kx
