#include "help/ManualLauncher.h"

#include "settings/DocumentDialogs.h"
#include "settings/IniDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <memory>
#include <utility>

namespace kx {

namespace {

const QByteArray Section = QByteArrayLiteral("Adobe Reader");
const QByteArray Key = QByteArrayLiteral("Directory");

bool fileAt(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace

ManualLauncher::ManualLauncher(Places places, StartDetached start, OpenDocument open)
    : places_(std::move(places)), start_(std::move(start)), open_(std::move(open)),
      readerPath_(places_.defaultReader)
{
    if (!start_) {
        start_ = [](const QString& program, const QStringList& args) {
            return QProcess::startDetached(program, args);
        };
    }
    if (!open_) {
        open_ = [](const QString& opener, const QString& file, std::function<void(bool)> answered) {
            // The opener ends as soon as it has handed the file on, or found nothing to hand
            // it to; its end is heard on the event loop, nothing waits for it.
            auto* process = new QProcess;
            process->setStandardOutputFile(QProcess::nullDevice());
            process->setStandardErrorFile(QProcess::nullDevice());
            auto once = std::make_shared<std::function<void(bool)>>(std::move(answered));
            const auto tell = [process, once](bool ok) {
                if (*once)
                    std::exchange(*once, nullptr)(ok);
                process->deleteLater();
            };
            QObject::connect(process, &QProcess::finished, process,
                             [tell](int code, QProcess::ExitStatus status) {
                                 tell(status == QProcess::NormalExit && code == 0);
                             });
            QObject::connect(process, &QProcess::errorOccurred, process,
                             [tell](QProcess::ProcessError error) {
                                 if (error == QProcess::FailedToStart)
                                     tell(false);
                             });
            process->start(opener, {file});
        };
    }
}

ManualLauncher::Places ManualLauncher::standardPlaces(const QString& programFolder,
                                                      const QString& installFolder)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    Places places{QDir(config).filePath(QStringLiteral("Morvell Scales")), programFolder,
                  QDir(installFolder).filePath(ManualFileName), desktopOpener()};
#ifndef Q_OS_WIN
    // A reader program searched for in /usr/bin means nothing here: the desktop knows which
    // program the user opens PDF files with.
    places.searchReader = false;
#endif
    return places;
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

ManualLauncher::Outcome ManualLauncher::openWithDesktop(DocumentDialogs& dialogs)
{
    const BoxMessage noViewer{
        QStringLiteral("No program on this computer opened the operator's manual. Install a PDF "
                       "reader, or open the manual with one:\n%1")
            .arg(QDir::toNativeSeparators(places_.manual)),
        QStringLiteral("Operators Manual"), BoxMessage::Buttons::Ok, BoxMessage::Icon::Information};
    if (!fileAt(readerPath_)) {
        dialogs.tell(noViewer);
        return Outcome::StartFailed;
    }
    DocumentDialogs* told = &dialogs;
    open_(readerPath_, places_.manual, [told, noViewer](bool answered) {
        if (!answered)
            told->tell(noViewer);
    });
    return Outcome::Started;
}

ManualLauncher::Outcome ManualLauncher::OpButtonClick(DocumentDialogs& dialogs)
{
    if (!places_.searchReader)
        return openWithDesktop(dialogs);
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
