#include "settings/UserFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kx {
namespace {

QString named(const QString& path, const QString& why)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
}

#ifdef Q_OS_UNIX
QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("is a folder, not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("is a device, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("is a FIFO (named pipe), not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("is a socket, not a file");
    return QStringLiteral("is not a regular file");
}

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}
#endif

QString tooLarge(qint64 limit)
{
    return QStringLiteral("is larger than %1 MiB, more than such a file holds; not read")
        .arg(limit / (1024 * 1024));
}

} // namespace

QString notARegularFile(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return kindOf(st.st_mode);
#else
    // Windows has no device nodes, FIFOs or sockets in its folders, but a folder can stand
    // where a file is expected; the open tells the rest.
    if (QFileInfo(path).isDir())
        return QStringLiteral("is a folder, not a file");
    return {};
#endif
}

std::optional<QByteArray> readUserFile(const QString& path, qint64 limit, QString* why)
{
    const auto refuse = [&](const QString& reason) -> std::optional<QByteArray> {
        if (why)
            *why = named(path, reason);
        return std::nullopt;
    };
    if (path.isEmpty())
        return refuse(QStringLiteral("no file named"));
#ifdef Q_OS_UNIX
    // Checked before the open too: a socket cannot be opened at all, and the reason should
    // say what it is rather than how the open failed.
    if (const QString kind = notARegularFile(path); !kind.isEmpty())
        return refuse(kind);
    // Without O_NONBLOCK, opening a FIFO waits for a writer and a serial device for its
    // carrier; the kind is checked again on what was opened, so nothing swapped in between
    // is read.
    int fd = -1;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return refuse(errnoText(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return refuse(errnoText(errno));
    if (const QString kind = kindOf(st.st_mode); !kind.isEmpty())
        return refuse(kind);
    if (st.st_size > limit)
        return refuse(tooLarge(limit));
    // The size may change while it is read: the bound holds for what is read, not what was seen.
    QByteArray bytes;
    bytes.resize(qsizetype(std::min<qint64>(st.st_size, limit)) + 1);
    qsizetype done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > limit)
                return refuse(tooLarge(limit));
            bytes.resize(qsizetype(std::min<qint64>(limit + 1, qint64(done) * 2 + 4096)));
        }
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(errnoText(errno));
        if (n == 0)
            break;
        done += n;
    }
    if (done > limit)
        return refuse(tooLarge(limit));
    bytes.truncate(done);
    return bytes;
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    if (file.size() > limit)
        return refuse(tooLarge(limit));
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit)
        return refuse(tooLarge(limit));
    return bytes;
#endif
}

} // namespace kx
