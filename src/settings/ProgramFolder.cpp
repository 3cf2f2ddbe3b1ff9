#include "settings/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace kx {

QString programFolderFor(const QString& executableFolder, bool executableFolderWritable,
                         const QString& userDataFolder)
{
    return executableFolderWritable ? executableFolder : userDataFolder;
}

bool folderIsWritable(const QString& folder)
{
    if (!QDir(folder).exists())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".kxlink-write-test-XXXXXX")));
    return probe.open();
}

namespace {

QString userDataFolder()
{
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%\KXLINK: one folder for the window and the command line, kept on this PC
    // (a roaming profile would carry the line's settings to another PC's ports).
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("KXLINK"));
#else
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#endif
}

} // namespace

QString runningProgramFolder()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString folder =
        programFolderFor(executableFolder, folderIsWritable(executableFolder), userDataFolder());
    QDir().mkpath(folder);
    return folder;
}

} // namespace kx
