#include "Pty.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kx::sim {

namespace {

QString errnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

long baudOf(speed_t speed)
{
    struct Entry
    {
        speed_t code;
        long baud;
    };
    static const Entry table[] = {
        {B50, 50},         {B75, 75},         {B110, 110},        {B134, 134},
        {B150, 150},       {B200, 200},       {B300, 300},        {B600, 600},
        {B1200, 1200},     {B1800, 1800},     {B2400, 2400},      {B4800, 4800},
        {B9600, 9600},     {B19200, 19200},   {B38400, 38400},    {B57600, 57600},
        {B115200, 115200}, {B230400, 230400}, {B460800, 460800},  {B500000, 500000},
        {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}};
    for (const Entry& e : table) {
        if (e.code == speed)
            return e.baud;
    }
    return 0;
}

} // namespace

Pty::~Pty()
{
    removeLink();
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

bool Pty::open(QString* error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        *error = errnoText("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = errnoText("grantpt/unlockpt");
        return false;
    }
    const char* name = ptsname(master_);
    if (!name) {
        *error = errnoText("ptsname");
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0) {
        *error = errnoText("open slave");
        return false;
    }
    // A fresh pty echoes and translates line ends; a serial port opened by the program
    // would not, and an echo would come back to the simulator as if the program had sent it.
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(slave_, TCSANOW, &t);
    }
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) < 0) {
        *error = errnoText("fcntl");
        return false;
    }
    return true;
}

bool Pty::makeLink(const QString& linkPath, QString* error)
{
    const QByteArray path = QFile::encodeName(linkPath);
    const QFileInfo info(linkPath);
    if (info.isSymLink()) {
        if (::unlink(path.constData()) != 0) {
            *error = errnoText("remove stale link");
            return false;
        }
    } else if (info.exists()) {
        *error =
            QStringLiteral("%1 exists and is not a symbolic link; not replacing it").arg(linkPath);
        return false;
    }
    if (::symlink(QFile::encodeName(slavePath_).constData(), path.constData()) != 0) {
        *error = errnoText("symlink");
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void Pty::removeLink()
{
    if (linkPath_.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(linkPath_);
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    if (n > 0 && QByteArray(target, n) == QFile::encodeName(slavePath_))
        ::unlink(path.constData());
    linkPath_.clear();
}

qsizetype Pty::write(const QByteArray& bytes)
{
    const int room = UnreadBudget - unreadByProgram();
    if (room <= 0 || master_ < 0)
        return 0;
    const qsizetype want = std::min<qsizetype>(room, bytes.size());
    const ssize_t n = ::write(master_, bytes.constData(), static_cast<size_t>(want));
    return n > 0 ? n : 0;
}

QByteArray Pty::readAvailable()
{
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return out;
}

std::chrono::nanoseconds Pty::characterTime() const
{
    termios t{};
    // On a pty master this reads the slave's settings, i.e. what the program configured.
    if (master_ < 0 || tcgetattr(master_, &t) != 0)
        return {};
    const long baud = baudOf(cfgetospeed(&t));
    if (baud <= 0)
        return {};
    int bits = 1; // start bit
    switch (t.c_cflag & CSIZE) {
    case CS5:
        bits += 5;
        break;
    case CS6:
        bits += 6;
        break;
    case CS7:
        bits += 7;
        break;
    default:
        bits += 8;
        break;
    }
    if (t.c_cflag & PARENB)
        bits += 1;
    bits += (t.c_cflag & CSTOPB) ? 2 : 1;
    return std::chrono::nanoseconds(1'000'000'000LL * bits / baud);
}

int Pty::unreadByProgram() const
{
    int waiting = 0;
    if (slave_ < 0 || ioctl(slave_, TIOCINQ, &waiting) != 0)
        return 0;
    return waiting;
}

} // namespace kx::sim
