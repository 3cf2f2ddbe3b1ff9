#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

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

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    int errorNumber_ = 0;
};

} // namespace kx
