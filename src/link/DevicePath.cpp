#include "link/DevicePath.h"

#include <QDir>
#include <QFileInfo>

namespace kx {

QString resolveDevicePath(const QString& name, const QString& workingFolder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(workingFolder);
    return name;
#else
    if (name.isEmpty() || QDir::isAbsolutePath(name))
        return name.isEmpty() ? name : QDir::cleanPath(name);
    const QDir here(workingFolder.isEmpty() ? QDir::currentPath() : workingFolder);
    const QString local = QDir::cleanPath(here.absoluteFilePath(name));
    // exists() follows links; a dangling link in the working folder still means that link.
    if (QFileInfo::exists(local) || QFileInfo(local).isSymLink() || name.contains(QLatin1Char('/')))
        return local;
    return QStringLiteral("/dev/") + name;
#endif
}

} // namespace kx
