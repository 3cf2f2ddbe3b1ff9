#include "link/SerialPortCheck.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kx {
namespace {

const QString kNotASerialPort = QStringLiteral("not a serial port");

#ifdef Q_OS_UNIX
// The device number of a node, or nothing when it is not there.
bool deviceOf(const char* path, dev_t& rdev)
{
    struct stat st = {};
    if (::stat(path, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    rdev = st.st_rdev;
    return true;
}

bool isSpecialTerminal(dev_t rdev)
{
    // The controlling terminal's alias and the pseudo-terminal multiplexer: neither is a line.
    for (const char* alias : {"/dev/tty", "/dev/ptmx", "/dev/pts/ptmx"}) {
        dev_t other{};
        if (deviceOf(alias, other) && other == rdev)
            return true;
    }
    return false;
}
#endif

} // namespace

QString notASerialPort(const QString& path)
{
    if (path.trimmed().isEmpty())
        return kNotASerialPort;
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(native.constData(), &st) != 0)
        return {};
    if (!S_ISCHR(st.st_mode))
        return kNotASerialPort;
    if (isSpecialTerminal(st.st_rdev))
        return kNotASerialPort;
    // Non-blocking, so a modem line without carrier does not hold the check; no controlling
    // terminal is taken on by looking.
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    termios attrs{};
    const bool terminal = ::tcgetattr(fd, &attrs) == 0;
    // The terminal this process runs on, by whatever name: it belongs to our own session.
    const bool own = terminal && ::tcgetsid(fd) == ::getsid(0);
    ::close(fd);
    return terminal && !own ? QString() : kNotASerialPort;
#else
    return {};
#endif
}

} // namespace kx
