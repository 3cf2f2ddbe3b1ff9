#pragma once

#include <QtGlobal>

#ifdef Q_OS_WIN
namespace kx::test {

// Windows has no limit of a process's file size: tests of a full disk skip there.
class FileSizeLimit
{
public:
    static constexpr bool supported = false;
    explicit FileSizeLimit(long long) {}
    bool active() const { return false; }
};

} // namespace kx::test
#else
#include <csignal>
#include <sys/resource.h>

namespace kx::test {

// While it lives, no file of this process may grow past limit bytes: a write beyond it fails
// as on a full disk (EFBIG), with no special file system and no root. SIGXFSZ is ignored so
// the failure reaches the writer instead of ending the process.
class FileSizeLimit
{
public:
    static constexpr bool supported = true;
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = limit;
        ok_ = setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

} // namespace kx::test
#endif
