#include "cli/CliSession.h"

#include "cli/Signals.h"
#include "cli/Terminal.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

namespace kx::cli {
namespace {

bool gLogLost = false;

} // namespace

CliSession::CliSession(const QString& programFolder, const LineChoice& line, bool quiet)
    : folder_(programFolder), quiet_(quiet)
{
    port_ = std::make_unique<PortSettings>(folder_);
    const bool ownIni = QFileInfo::exists(port_->iniPath());
    if (!line.device.isEmpty() || !ownIni) {
        // A line given on the command line (or no Port.Ini at all) leaves the program's own
        // Port.Ini alone: the settings live in memory for this run only.
        port_->holdInMemory(line.device);
        port_->ComNo = line.device.isEmpty() ? QStringLiteral("0") : QStringLiteral("1");
        port_->BaudRate = std::max(0, PortSettings::baudIndexOf(line.baud));
        port_->Parity = line.parity;
        port_->Mode = std::max(0, line.mode);
    } else {
        port_->LoadPortSettings();
    }
    if (line.port > 0)
        port_->ComNo = QString::number(line.port);
    if (line.mode >= 0)
        port_->Mode = line.mode;
    if (line.outputs > 0)
        port_->CustomOutputs = line.outputs;
    panel_ = std::make_unique<LineSession>(QtClock::instance(), std::make_unique<QtSerialDevice>(),
                                          *port_, *this, *this);
    panel_->FormCreate();
    panel_->setPortSettingsLoaded();
    // The record of writes stays with the program, whatever folder the line's settings use.
    panel_->setLogbookFolder(programFolder);
    // A signal is looked at by the write itself, not only when the loop gets to its event.
    panel_->setStopCheck([] { return stopRequested(); });
    if (!line.log.isEmpty()) {
        QString why;
        const bool started = panel_->startProtocolLog(line.log, &why, [](const QString& failure) {
            gLogLost = true;
            std::fprintf(stderr, "The protocol log stopped: %s\n",
                         qPrintable(terminalText(failure)));
        });
        if (!started) {
            gLogLost = true;
            std::fprintf(stderr, "No protocol log: %s\n", qPrintable(terminalText(why)));
        }
    }
}

CliSession::~CliSession()
{
    panel_->FormClose();
}

bool CliSession::protocolLogLost()
{
    return gLogLost;
}

bool CliSession::open()
{
    if (openQuietly())
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(terminalText(lastError())));
    return false;
}

bool CliSession::beginOpen(LineSession::OpenDone then)
{
    portError_.clear();
    if (port_->portNumber() == 0) {
        portError_ = port_->loadFailure().isEmpty()
                         ? QStringLiteral("No Communications Port Selected: give --port N or --device PATH.")
                         : QStringLiteral("No Communications Port Selected: %1").arg(port_->loadFailure());
        return false;
    }
    panel_->OpenComPort(std::move(then));
    return true;
}

bool CliSession::openQuietly()
{
    // Outlives this call should the open outlast the wait.
    const auto ended = std::make_shared<std::optional<bool>>();
    if (!beginOpen([ended](bool connected) { *ended = connected; }))
        return false;
    if (!waitFor([&] { return ended->has_value(); }, OpenLimitMs)) {
        portError_ = QStringLiteral("The port did not open in time.");
        return false;
    }
    return **ended;
}

QString CliSession::lastError() const
{
    return portError_.isEmpty() ? panel_->lastOpenError() : portError_;
}

void CliSession::showWarning(const QString& caption, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(terminalText(text)));
}

void CliSession::showPortError(const QString& text, const QString& detail)
{
    portError_ = detail.isEmpty() ? text : QStringLiteral("%1: %2").arg(text, detail);
}

bool CliSession::waitFor(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    // processEvents() with a time limit does not wait for events at all; this sleeps until
    // the engines have something to do, and looks at done() (Ctrl-C) at least this often.
    QTimer look;
    look.start(50);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void CliSession::ShowTransferStatus(const QString& text, bool open, bool, bool replaceLast)
{
    if (open) {
        lines_.clear();
        transferResult_.reset();
    }
    // The spinner rewrites its line; on standard error it is a new line only when the text
    // says something new.
    const bool spinner = replaceLast && !lines_.isEmpty();
    if (spinner)
        lines_.last() = text;
    else
        lines_ << text;
    if (!quiet_ && !spinner)
        std::fprintf(stderr, "%s\n", qPrintable(terminalText(text.trimmed())));
}

void CliSession::showDebugLine(const QString& line)
{
    if (onDebugLine)
        onDebugLine(line);
}

} // namespace kx::cli
