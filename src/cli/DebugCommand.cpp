// kxlink-cli debug: the indicator's field-bus debug line, a line an answer, until the count,
// the monitor's own end or a signal.
#include "cli/Commands.h"
#include "cli/LineRun.h"
#include "cli/Options.h"
#include "cli/Say.h"
#include "cli/Terminal.h"

#include <optional>

namespace kx::cli {
namespace {

class DebugRun : public LineRun
{
public:
    DebugRun(const CliContext& context, qint64 count) : LineRun(context), count_(count) {}

protected:
    void opened() override;

private:
    enum class State
    {
        Opening,
        Listening,
        Ended,
    };

    void conclude();
    bool enough() const { return count_ > 0 && shown_ >= count_; }

    qint64 count_;
    qint64 shown_ = 0;
    State state_ = State::Opening;
    std::optional<StopWatch> stop_;
    std::optional<LentLine> lent_;
};

void DebugRun::opened()
{
    stop_.emplace([this] { conclude(); });
    lent_.emplace(session().panel());
    if (!*lent_) {
        lent_.reset();
        err(QStringLiteral("The line is busy."));
        stop_.reset();
        return finish(PortError);
    }
    state_ = State::Listening;
    session().onDebugEnded = [this] { later([this] { conclude(); }); };
    session().panel().DebugAnyBusClick();
    // Listening only now: the start empties the window's debug box, which on a terminal
    // would be an empty first line.
    session().onDebugLine = [this](const QString& line) {
        if (enough())
            return;
        ++shown_;
        out(lineText(line));
        if (enough())
            later([this] { conclude(); });
    };
    // The monitor may not have taken the line at all.
    if (session().panel().lineOwner() != LineOwner::DebugMonitor)
        later([this] { conclude(); });
}

void DebugRun::conclude()
{
    if (state_ != State::Listening)
        return;
    state_ = State::Ended;
    session().onDebugLine = nullptr;
    session().onDebugEnded = nullptr;
    session().panel().stopDebugMonitor();
    lent_.reset();
    if (stopRequested() && !context().quiet)
        err(stopMessage());
    stop_.reset();
    finish(exitStatusFor(session().debugResult() ? session().debugResult()->outcome
                                                 : Outcome::Completed));
}

} // namespace

Started runDebug(CliContext& c)
{
    return std::make_unique<DebugRun>(c, numericOption(c.options, QStringLiteral("count"), 0));
}

} // namespace kx::cli
