// kxlink-cli flash and check-hex: an update file checked as the update checks it, and the
// update itself through the indicator's bootstrap loader, after a backup of its setup.
#include "cli/Commands.h"
#include "cli/LineRun.h"
#include "cli/Say.h"

#include "firmware/FirmwareUpdate.h"
#include "firmware/HexCheck.h"
#include "link/QtClock.h"
#include "link/SystemSerial.h"
#include "settings/UserFile.h"

#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace kx::cli {
namespace {

// The update window's side, for a terminal: progress on standard error (a bar redrawn in
// place on a terminal, plain lines otherwise), refusals as messages.
class ConsoleUpdateView : public FirmwareUpdateView
{
public:
    ConsoleUpdateView(const QString& file, bool quiet) : file_(file), quiet_(quiet) {}
    FirmwareUpdate* update = nullptr;
    bool refused = false;
    // Told whenever the panel changes, as it does with each step of the update.
    std::function<void()> onChange;

    QString askUpdateFile(const QString&) override { return file_; }
    void refuseUpdateFile(const QString& text) override
    {
        refused = true;
        err(QString(text).replace(QLatin1Char('\n'), QLatin1String(": ")));
    }
    void updatePanelChanged(bool) override
    {
        if (onChange)
            onChange();
        if (quiet_ || !update)
            return;
        const UpdatePanelState& p = update->panel();
        const QString line = p.detail.isEmpty() ? p.label : p.label + QLatin1String("  ") + p.detail;
        if (line == last_ || line.isEmpty())
            return;
        last_ = line;
        if (isatty(fileno(stderr))) {
            const int width = 30;
            const int done = p.barMax > 0 ? width * p.barPosition / p.barMax : 0;
            std::fprintf(stderr, "\r[%s%s] %s\033[K", QByteArray(done, '#').constData(),
                         QByteArray(width - done, '.').constData(), qPrintable(line));
            if (p.closeVisible)
                std::fprintf(stderr, "\n");
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(line));
        }
    }
    void setBusyCursor(bool) override {}

private:
    QString file_;
    QString last_;
    bool quiet_;
};

// The update file's check: its lines, or nothing with the reason told.
std::optional<HexCheckResult> checkHexFile(const QString& path)
{
    QString why;
    const auto bytes = readUserFile(path, HexFileLimit, &why);
    if (!bytes) {
        err(why);
        return std::nullopt;
    }
    HexCheckResult check = checkIntelHex(*bytes);
    if (!check.ok) {
        err(check.badLine > 0 ? QStringLiteral("%1: line %2: %3.").arg(path).arg(check.badLine).arg(check.problem)
                              : QStringLiteral("%1: %2.").arg(path, check.problem));
        return std::nullopt;
    }
    return check;
}

class FlashRun : public LineRun
{
public:
    // Only a loader port without a reply timer can leave a run waiting this long.
    static constexpr int GuardMs = 30 * 60 * 1000;

    FlashRun(const CliContext& context, const QString& file)
        : LineRun(context), view_(QFileInfo(file).absoluteFilePath(), context.quiet)
    {
        guard_.setSingleShot(true);
        connect(&guard_, &QTimer::timeout, this, [this] { conclude(); });
        view_.onChange = [this] {
            if (state_ == State::Updating && ended())
                later([this] { conclude(); });
        };
    }
    ~FlashRun() override { view_.onChange = nullptr; }

protected:
    void opened() override;

private:
    enum class State
    {
        Opening,
        BackingUp,
        Updating,
        Ended,
    };

    void update();
    bool ended() const
    {
        return update_->phase() == UpdatePhase::Done || update_->phase() == UpdatePhase::Failed
               || update_->phase() == UpdatePhase::Idle;
    }
    void conclude();

    State state_ = State::Opening;
    ConsoleUpdateView view_;
    std::unique_ptr<FirmwareUpdate> update_;
    std::optional<StopWatch> stop_;
    QTimer guard_;
};

void FlashRun::opened()
{
    state_ = State::BackingUp;
    backUp(*this, [this](int status) {
        if (status != Success)
            return finish(status);
        update();
    });
}

void FlashRun::update()
{
    update_ =
        std::make_unique<FirmwareUpdate>(QtClock::instance(), makeSystemSerialDevice(),
                                         session().panel().updateHost(), view_, session().folder());
    view_.update = update_.get();
    update_->setStopCheck([] { return stopRequested(); });
    // The loader's port goes through the same protocol log as the main port.
    if (!context().line.log.isEmpty())
        update_->ScalePort().setTap(session().panel().protocolTap());
    state_ = State::Updating;
    update_->F3UpdateButtonClick();
    if (ended())
        return conclude();
    stop_.emplace([this] { conclude(); });
    guard_.start(GuardMs);
}

void FlashRun::conclude()
{
    if (state_ != State::Updating)
        return;
    state_ = State::Ended;
    guard_.stop();
    stop_.reset();
    const bool stillRunning = !ended();
    // Close stops a transfer still running (its outcome is then "cancelled") and gives the
    // line back to polling.
    update_->CloseUpdateClick();
    const std::optional<UpdateEnd>& end = update_->lastEnd();
    if (!end) {
        err(QStringLiteral("The update did not start."));
        return finish(PortError);
    }
    if (stillRunning && !stopRequested()) {
        err(QStringLiteral("The update did not end: time-out."));
        return finish(exitStatusFor(Outcome::NoAnswer));
    }
    if (end->outcome == Outcome::Cancelled)
        err(stopRequested() ? stopMessage(QStringLiteral("the update was stopped before its end"))
                            : QStringLiteral("Stopped."));
    else if (end->outcome != Outcome::Completed && end->outcome != Outcome::FileRejected &&
             context().quiet)
        err(updateLabel(end->outcome) + QLatin1String("  ") + updateDetail(*end)); // the progress lines, when shown, carried it already
    if (end->outcome == Outcome::Cancelled && end->linesSent)
        err(QStringLiteral("The KX7400 may hold a partial firmware: run the update again "
                           "before using it."));
    if (stillRunning && end->outcome == Outcome::Completed)
        err(QStringLiteral("Stopped while the indicator reloads; the update itself went through."));
    finish(exitStatusFor(end->outcome));
}

} // namespace

Started runCheckHex(CliContext& c)
{
    const auto file = theFile(c, "check-hex", "update file");
    if (!file)
        return Usage;
    const auto check = checkHexFile(*file);
    if (!check)
        return Refused;
    out(QStringLiteral("%1: %2 lines, a good update file").arg(*file).arg(check->lines.size()));
    return Success;
}

Started runFlash(CliContext& c)
{
    const auto file = theFile(c, "flash", "update file");
    if (!file)
        return Usage;
    // A bad file is refused before the port is even opened: no byte reaches the indicator.
    if (!checkHexFile(*file) || !logbookTakesLines(c))
        return Refused;
    return std::make_unique<FlashRun>(c, *file);
}

} // namespace kx::cli
