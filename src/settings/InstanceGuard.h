#pragma once

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

class QFileSystemWatcher;

namespace kx {

// Lets one copy of the program run per user. A lock file rather than a system-wide object:
// a copy that crashed leaves a lock whose owner is gone, which the next start takes over.
class InstanceGuard
{
public:
    enum class Result
    {
        Acquired,
        AlreadyRunning,
        Failed
    };

    // lockPath empty: "kxlink.lock" in the user's runtime folder.
    explicit InstanceGuard(QString lockPath = {});
    ~InstanceGuard();

    Result acquire();
    // The system's error number when acquire() failed.
    int errorNumber() const { return errorNumber_; }
    QString lockPath() const { return path_; }

    // The copy that holds the lock: raise is called each time a second start asks for its
    // window. A file beside the lock carries the request, so no more than QtCore is needed.
    void onRaiseRequested(std::function<void()> raise);
    // A second start, refused: asks the running copy to bring its window forward.
    void requestRaise() const;
    QString raiseRequestPath() const { return path_ + QStringLiteral(".raise"); }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QFileSystemWatcher> watcher_;
    int errorNumber_ = 0;
};

} // namespace kx
