#include "PtyPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kx::test {

PtyPair::PtyPair()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0)
        return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    slave_ = QString::fromLocal8Bit(ptsname(master_));
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
}

PtyPair::~PtyPair()
{
    closeMaster();
}

void PtyPair::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EAGAIN)
            ::usleep(200); // the program has not read yet; let it
        else if (n < 0 && errno != EINTR)
            return;
    }
}

QByteArray PtyPair::read(int timeoutMs)
{
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (master_ >= 0) {
        char buf[512];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (!out.isEmpty() || t.elapsed() >= timeoutMs)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return out;
}

void PtyPair::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

} // namespace kx::test
