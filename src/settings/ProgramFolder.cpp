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

QString runningProgramFolder()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString folder =
        programFolderFor(executableFolder, folderIsWritable(executableFolder),
                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QDir().mkpath(folder);
    return folder;
}

} // namespace kx
