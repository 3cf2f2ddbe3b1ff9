#include "settings/InstanceGuard.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>

namespace kx {

InstanceGuard::InstanceGuard(QString lockPath) : path_(std::move(lockPath))
{
    if (path_.isEmpty()) {
        QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (dir.isEmpty())
            dir = QDir::tempPath();
        path_ = QDir(dir).filePath(QStringLiteral("kxlink.lock"));
    }
}

InstanceGuard::~InstanceGuard()
{
    if (watcher_)
        QFile::remove(raiseRequestPath());
}

void InstanceGuard::onRaiseRequested(std::function<void()> raise)
{
    QFile file(raiseRequestPath());
    // Made empty by the copy that listens; a failure only means no window is raised.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.close();
    watcher_ = std::make_unique<QFileSystemWatcher>(QStringList{raiseRequestPath()});
    QObject::connect(watcher_.get(), &QFileSystemWatcher::fileChanged, watcher_.get(),
                     [this, raise = std::move(raise)](const QString& path) {
                         // Some systems stop watching a file that was rewritten.
                         if (!watcher_->files().contains(path) && QFile::exists(path))
                             watcher_->addPath(path);
                         if (QFileInfo(path).size() > 0)
                             raise();
                     });
}

void InstanceGuard::requestRaise() const
{
    QFile file(raiseRequestPath());
    // Appended, so that each start is a change the running copy sees.
    if (file.open(QIODevice::Append))
        file.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\n');
}

InstanceGuard::Result InstanceGuard::acquire()
{
    lock_ = std::make_unique<QLockFile>(path_);
    // A lock whose process is gone is stale at once; a live owner keeps it however old.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0))
        return Result::Acquired;
    switch (lock_->error()) {
    case QLockFile::LockFailedError:
        return Result::AlreadyRunning;
    case QLockFile::PermissionError:
        errorNumber_ = 13; // EACCES, as the system would number it
        break;
    default:
        errorNumber_ = static_cast<int>(lock_->error());
        break;
    }
    return Result::Failed;
}

} // namespace kx
