#include "settings/InstanceGuard.h"

#include <QDir>
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

InstanceGuard::~InstanceGuard() = default;

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
