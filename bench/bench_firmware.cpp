// Measures how closely the firmware update keeps pace with the line: from the first byte of
// the enter message to the loader's last ACK, against a stand-in loader on a
// pseudo-terminal that gives every byte its wire time (11 bits a byte, 8E1) and answers each
// whole message with ACK the moment its last byte is in. The limit it is compared with is
//   Σ message bytes × 11 ÷ baud + 2.0 s after the enter ACK + lines × line delay,
// what the wire and the loader's own waits allow at best (the ACKs' own byte times are on the
// program's side of the ratio). It also gives, after each line's ACK, how much later than the
// line delay the next message left.
//
// The images are Intel-HEX as srec_cat writes them: an extended linear address record, data
// records of 32 bytes, the end-of-file record.
//
//   bench_firmware [lines ...] [-b baud ...]     (default 375 and 37 lines at 19200 and 115200)
#include "firmware/FirmwareUpdate.h"
#include "firmware/LoaderFraming.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace kx;

namespace {

constexpr int BitsPerByte = 11; // start, 8 data, even parity, stop: 8E1, as the real line

QByteArray record(int type, int address, const QByteArray& data)
{
    QByteArray bytes;
    bytes += char(data.size());
    bytes += char((address >> 8) & 0xFF);
    bytes += char(address & 0xFF);
    bytes += char(type);
    bytes += data;
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<unsigned char>(b);
    bytes += char((0x100 - (sum & 0xFF)) & 0xFF);
    return ":" + bytes.toHex().toUpper() + "\r\n";
}

// lines in all: the address record, lines - 2 data records of 32 bytes, the end record.
QByteArray image(int lines)
{
    const QByteArray text = "KX7400 firmware image, build 2026-12-10; ";
    QByteArray out = record(4, 0, QByteArray("\x00\x00", 2));
    for (int i = 0; i < lines - 2; ++i) {
        QByteArray data;
        for (int j = 0; j < 32; ++j)
            data += text[(i * 32 + j) % text.size()] ^ char((i >> 4) & 0x0F);
        out += record(0, (i * 32) & 0xFFFF, data);
    }
    return out + record(1, 0, {});
}

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleepUntilNs(qint64 ns)
{
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// The loader's side of the line: paced bytes, an ACK for every whole message.
class StandInLoader
{
public:
    explicit StandInLoader(int baud) : byteNs_(qint64(BitsPerByte) * 1000000000 / baud)
    {
        if (openpty(&master_, &slave_, name_, nullptr, nullptr) != 0)
            return;
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        thread_ = std::thread([this] { run(); });
    }
    ~StandInLoader()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }
    QString path() const { return QString::fromLocal8Bit(name_); }
    bool ok() const { return master_ >= 0; }

    // Filled by the loader's thread; read once the program has seen the last ACK.
    qint64 firstByteNs = -1;
    qint64 lastAckNs = -1;
    std::atomic<int> messages{0};
    // For each message after a line's ACK: when its first byte came, less when that ACK was in.
    std::vector<qint64> gapsNs;

private:
    void run()
    {
        QByteArray buf;
        qint64 wireFree = 0; // when the line is free for the next byte
        qint64 lastAckInNs = -1;
        bool lastWasLine = false;
        char chunk[512];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            const qint64 at = nowNs();
            if (buf.isEmpty()) {
                if (firstByteNs < 0)
                    firstByteNs = at;
                if (lastWasLine && lastAckInNs >= 0)
                    gapsNs.push_back(at - lastAckInNs);
            }
            // Every byte takes its time on the wire, after the one before it.
            for (ssize_t i = 0; i < n; ++i)
                wireFree = std::max(wireFree, at) + byteNs_;
            buf.append(chunk, n);
            for (;;) {
                qsizetype size = 0;
                if (buf.startsWith('\x02') && buf.size() >= 6)
                    size = 6;
                else if (buf.startsWith('\x04') && buf.size() >= 2)
                    size = 2;
                else if (buf.startsWith(':')) {
                    const qsizetype end = buf.indexOf("\r\n");
                    if (end >= 0 && buf.size() >= end + 3)
                        size = end + 3;
                }
                if (size == 0)
                    break;
                lastWasLine = buf.startsWith(':');
                buf.remove(0, size);
                // The last byte is in at wireFree (for the bytes read so far, which is all of
                // the message); the ACK then takes its own byte time back.
                sleepUntilNs(wireFree + byteNs_);
                const char ack = '\x06';
                if (::write(master_, &ack, 1) == 1) {
                    lastAckInNs = nowNs();
                    lastAckNs = lastAckInNs;
                    wireFree = lastAckInNs;
                    ++messages;
                }
            }
        }
    }

    qint64 byteNs_;
    int master_ = -1;
    int slave_ = -1;
    char name_[256] = {};
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

struct Host : UpdateHost
{
    Host(Clock& clock, QString device)
        : main(clock, std::make_unique<QtSerialDevice>()), device_(std::move(device))
    {
    }
    void takeLineForUpdate() override {}
    const SerialChannel& mainPort() const override { return main; }
    QString deviceFor(int) const override { return device_; }
    void disableFace() override {}
    void giveLineBack() override {}
    void showUpdatePanel(bool, bool) override {}
    bool shuttingDown() const override { return false; }
    SerialChannel main;
    QString device_;
};

struct View : FirmwareUpdateView
{
    QString path;
    bool ended = false;
    Outcome outcome = Outcome::Cancelled;
    QString askUpdateFile(const QString&) override { return path; }
    void refuseUpdateFile(const QString& text) override
    {
        std::fprintf(stderr, "refused: %s\n", qPrintable(text));
    }
    void updatePanelChanged(bool) override {}
    void setBusyCursor(bool) override {}
    void updateEnded(const UpdateEnd& end) override
    {
        ended = true;
        outcome = end.outcome;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    QList<int> bauds;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "-b" && i + 1 < argc)
            bauds << atoi(argv[++i]);
        else
            sizes << std::max(3, atoi(argv[i]));
    }
    if (sizes.isEmpty())
        sizes = {375, 37};
    if (bauds.isEmpty())
        bauds = {19200, 115200};

    QTemporaryDir dir;
    const qint64 lineDelay = BootstrapLoader::DefaultLineDelay.count();
    std::printf("%6s %7s %10s %10s %10s %7s %16s\n", "lines", "baud", "bytes", "took ms",
                "limit ms", "ratio", "after delay ms");
    std::printf("%6s %7s %10s %10s %10s %7s %16s\n", "", "", "", "", "", "",
                "median / 95% / max");
    int worse = 0;
    for (const int lines : sizes) {
        const QByteArray hex = image(lines);
        QFile file(dir.filePath(QStringLiteral("image%1.hex").arg(lines)));
        if (!file.open(QIODevice::WriteOnly) || file.write(hex) != hex.size())
            return 1;
        file.close();
        qint64 messageBytes = loaderEnterMessage().size() + loaderEndMessage().size();
        for (const QByteArray& line : hex.split('\n'))
            if (!line.trimmed().isEmpty())
                messageBytes += loaderLineMessage(line.trimmed()).size();

        for (const int baud : bauds) {
            StandInLoader loader(baud);
            if (!loader.ok()) {
                std::fprintf(stderr, "no pseudo-terminal\n");
                return 1;
            }
            Clock& clock = QtClock::instance();
            Host host(clock, loader.path());
            host.main.SetBaud(baud);
            host.main.SetComNumber(1);
            View view;
            view.path = file.fileName();
            FirmwareUpdate update(clock, std::make_unique<QtSerialDevice>(), host, view,
                                  dir.path());
            update.F3UpdateButtonClick();
            QElapsedTimer guard;
            guard.start();
            while (!view.ended && guard.elapsed() < 600000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            update.CloseUpdateClick();
            if (view.outcome != Outcome::Completed) {
                std::fprintf(stderr, "%d lines at %d baud: the update did not complete (%s)\n",
                             lines, baud, outcomeName(view.outcome));
                return 1;
            }
            const double took = (loader.lastAckNs - loader.firstByteNs) / 1e6;
            const double limit = double(messageBytes) * BitsPerByte * 1000.0 / baud +
                                 BootstrapLoader::EnterPause.count() + double(lines) * lineDelay;
            std::vector<qint64> gaps = loader.gapsNs;
            std::sort(gaps.begin(), gaps.end());
            const auto at = [&](double q) {
                return gaps.empty() ? 0.0
                                    : (gaps[std::min(gaps.size() - 1, size_t(q * gaps.size()))] -
                                       lineDelay * 1000000) /
                                          1e6;
            };
            std::printf("%6d %7d %10lld %10.1f %10.1f %7.3f %6.2f / %4.2f / %4.2f\n", lines,
                        baud, static_cast<long long>(messageBytes), took, limit, took / limit,
                        at(0.5), at(0.95), gaps.empty() ? 0.0 : (gaps.back() / 1e6 - lineDelay));
            std::fflush(stdout);
            if (took / limit > 1.03)
                ++worse;
        }
    }
    return worse == 0 ? 0 : 2;
}
