// kx7400-sim: a KX7400 weighing indicator on a pseudo-terminal, for development without
// the instrument, for the integration tests and for the benchmarks.

#include "Faults.h"
#include "Indicator.h"
#include "Line.h"
#include "Pty.h"
#include "Script.h"
#include "SetupStore.h"
#include "SimLog.h"
#include "SimOptions.h"
#include "WeightModel.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace kx::sim;

namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &b, 1);
}

bool installSignals()
{
    if (::pipe(stopPipe) != 0)
        return false;
    for (const int fd : stopPipe)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    struct sigaction sa
    {
    };
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of an interactive shell, reading the terminal would stop
    // the whole simulator; ignored, the read fails instead and the script is just closed.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
    return true;
}

// One line to standard output, unless nobody is reading it: the simulator must never stall
// on a full pipe.
void say(const QByteArray& line)
{
    pollfd p{STDOUT_FILENO, POLLOUT, 0};
    if (::poll(&p, 1, 0) != 1 || !(p.revents & POLLOUT))
        return;
    const QByteArray out = line + '\n';
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, out.constData(), out.size());
}

int timeoutMs(TimePoint now, TimePoint wake)
{
    if (wake <= now)
        return 0;
    // Round up: waking a little early would only spin round the loop once more.
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wake - now).count();
    return static_cast<int>(std::min<qint64>((us + 999) / 1000, 200));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx7400-sim"));
    const SimOptions options = parseOptions(QCoreApplication::arguments());

    SimLog log;
    QString error;
    if (!log.open(options.logFile, options.verbose, &error)) {
        std::fprintf(stderr, "kx7400-sim: cannot open log %s: %s\n", qPrintable(options.logFile),
                     qPrintable(error));
        return 1;
    }
    Pty pty;
    if (!pty.open(&error) || (!options.link.isEmpty() && !pty.makeLink(options.link, &error))) {
        std::fprintf(stderr, "kx7400-sim: %s\n", qPrintable(error));
        return 1;
    }
    if (!installSignals()) {
        std::fprintf(stderr, "kx7400-sim: cannot set up signal handling\n");
        return 1;
    }

    const TimePoint start = SimClock::now();
    Faults faults(options.seed, start);
    faults.noise = options.noise;
    faults.split = options.split;
    faults.pace = options.pace;
    faults.delayMs = options.delayMs;
    faults.storeMs = options.storeMs;
    faults.nakEvery = options.nakEvery;
    faults.abortDownloads = options.abortDownloads;
    faults.silentOnDownload = options.silentOnDownload;
    faults.silentAfter = options.silentAfter;
    faults.windows = options.silence;

    WeightModel scale(options.startWeight, options.loadEverySec, options.seed, start);
    scale.setDrift(options.driftPerMinute);
    scale.setJitter(options.jitterDivisions);
    SetupStore setup(options.outputs);
    for (const QByteArray& h : options.holds)
        setup.addHold(h);
    Line line(pty, log, faults);
    Indicator indicator(options.indicator, line, log, faults, scale, setup, start);
    Script script(indicator, scale, faults, setup, line);

    say(QFile::encodeName(pty.slavePath()));
    log.note(QStringLiteral("KX7400 simulator on %1%2")
                 .arg(pty.slavePath(), options.link.isEmpty()
                                           ? QString()
                                           : QStringLiteral(" (%1)").arg(options.link)));

    bool stdinOpen = true;
    QByteArray stdinText;
    bool quit = false;
    while (!quit) {
        TimePoint now = SimClock::now();
        TimePoint wake = indicator.nextWake(now);
        if (const auto w = line.nextWake(now))
            wake = std::min(wake, *w);

        pollfd fds[3] = {{stopPipe[0], POLLIN, 0},
                         {pty.masterFd(), POLLIN, 0},
                         {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 3, timeoutMs(now, wake));
        if (ready < 0 && errno != EINTR) {
            std::perror("kx7400-sim: poll");
            break;
        }
        now = SimClock::now();
        if (ready > 0 && (fds[0].revents & POLLIN))
            break;
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            const QByteArray bytes = pty.readAvailable();
            if (!bytes.isEmpty())
                line.received(bytes, now);
        } else if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
            // Our own slave descriptor should prevent a hang-up; should one come anyway,
            // wait a moment rather than spin on it.
            ::poll(nullptr, 0, 20);
        }
        if (ready > 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[1024];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n > 0) {
                stdinText.append(buf, n);
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                // A closed script is not a request to stop: the indicator keeps running.
                stdinOpen = false;
            }
            qsizetype eol;
            while (!quit && (eol = stdinText.indexOf('\n')) >= 0) {
                const QByteArray command = stdinText.left(eol).trimmed();
                stdinText.remove(0, eol + 1);
                if (command.isEmpty() || command.startsWith('#'))
                    continue;
                log.note(QStringLiteral("script: %1").arg(QString::fromLocal8Bit(command)));
                say(script.run(command, now, &quit));
            }
        }
        const QByteArray arrived = line.arrived(now);
        if (!arrived.isEmpty())
            indicator.onBytes(arrived, now);
        indicator.tick(now);
        line.service(now);
    }
    log.note(QStringLiteral("stopped"));
    return 0;
}
