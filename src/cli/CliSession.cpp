#include "cli/CliSession.h"

#include "cli/Say.h"
#include "cli/Signals.h"
#include "cli/Terminal.h"
#include "link/QtClock.h"
#include "link/SystemSerial.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace kx::cli {
namespace {

bool gLogLost = false;
bool gLogbookLost = false;

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
    panel_ = std::make_unique<LineSession>(QtClock::instance(), makeSystemSerialDevice(), *port_,
                                           *this, *this);
    openLimit_.setSingleShot(true);
    QObject::connect(&openLimit_, &QTimer::timeout, [this] {
        portError_ = QStringLiteral("The port did not open in time.");
        endOpen(false);
    });
    panel_->FormCreate();
    panel_->setPortSettingsLoaded();
    // The record of writes stays with the program, whatever folder the line's settings use.
    panel_->setLogbookFolder(programFolder);
    panel_->onWriteNotLogged = [] { gLogbookLost = true; };
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
    // An open the close ends tells no one: whoever asked is going away.
    openDone_ = nullptr;
    panel_->FormClose();
}

bool CliSession::protocolLogLost()
{
    return gLogLost;
}

bool CliSession::logbookLineLost()
{
    return gLogbookLost;
}

bool CliSession::beginOpen(LineSession::OpenDone then)
{
    portError_.clear();
    if (port_->portNumber() == 0) {
        // A number no port has is named, not taken for "none chosen".
        const QString chosen = port_->ComNo.trimmed();
        if (port_->loadFailure().isEmpty() && !chosen.isEmpty() && chosen != QLatin1String("0")) {
            portError_ = QStringLiteral("No Communications Port Selected: %1 [Scale Port] Port=%2 "
                                        "is no port number (1 to %3).")
                             .arg(QDir::toNativeSeparators(port_->iniPath()), terminalText(chosen))
                             .arg(PortSettings::MaxPortNumber);
            return false;
        }
        portError_ = port_->loadFailure().isEmpty()
                         ? QStringLiteral("No Communications Port Selected: give --port N or --device PATH.")
                         : QStringLiteral("No Communications Port Selected: %1").arg(port_->loadFailure());
        return false;
    }
    panel_->OpenComPort(std::move(then));
    return true;
}

void CliSession::openThen(std::function<void(bool opened)> done)
{
    openDone_ = std::move(done);
    // The link tells the end from inside itself; the command goes on from the loop. Queued
    // on the limit's timer, a late end is dropped with the session.
    const bool started = beginOpen([this](bool connected) {
        QMetaObject::invokeMethod(&openLimit_, [this, connected] { endOpen(connected); },
                                  Qt::QueuedConnection);
    });
    if (!started) {
        QMetaObject::invokeMethod(&openLimit_, [this] { endOpen(false); }, Qt::QueuedConnection);
        return;
    }
    openLimit_.start(OpenLimitMs);
}

void CliSession::endOpen(bool opened)
{
    openLimit_.stop();
    // Once: an open that ends after its limit has been answered already.
    if (const auto done = std::exchange(openDone_, nullptr))
        done(opened);
}

QString CliSession::lastError() const
{
    return portError_.isEmpty() ? panel_->lastOpenError() : portError_;
}

void CliSession::say(const QString& text) const
{
    if (name_.isEmpty())
        return err(text);
    for (const QString& line : text.split(QLatin1Char('\n')))
        err(QStringLiteral("%1: %2").arg(name_, line));
}

QString CliSession::prefix() const
{
    return name_.isEmpty() ? QString() : terminalText(name_) + QStringLiteral(": ");
}

void CliSession::showWarning(const QString& caption, const QString& text)
{
    std::fprintf(stderr, "%s%s: %s\n", qPrintable(prefix()), qPrintable(caption),
                 qPrintable(terminalText(text)));
}

void CliSession::showPortError(const QString& text, const QString& detail)
{
    portError_ = detail.isEmpty() ? text : QStringLiteral("%1: %2").arg(text, detail);
}

void CliSession::transferEnded(const TransferResult& result)
{
    transferResult_ = result;
    if (onTransferEnded)
        onTransferEnded(result);
}

void CliSession::debugEnded(const DebugResult& result)
{
    debugResult_ = result;
    if (onDebugEnded)
        onDebugEnded();
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
        std::fprintf(stderr, "%s%s\n", qPrintable(prefix()),
                     qPrintable(terminalText(text.trimmed())));
}

void CliSession::showDebugLine(const QString& line)
{
    if (onDebugLine)
        onDebugLine(line);
}

} // namespace kx::cli
