#pragma once

#include "cli/CliSession.h"
#include "cli/CommandRun.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace kx::cli {

// One transfer in the editor's place, from its start to its exit status: the line is lent to
// it, a signal cancels it as the panel's Cancel does, and done hears the status once, on a
// later turn of the loop. One at a time; the next may start from done.
class TransferRun : public QObject
{
public:
    using Done = std::function<void(int status)>;
    // Every wait of the transfer has its own end; this limit only guards against a fault.
    static constexpr int GuardMs = 120000;

    TransferRun(CliSession& session, bool quiet);
    ~TransferRun() override;
    void run(TransferDirection direction, Done done);

private:
    enum class State
    {
        Idle,
        Running,
        Concluding,
    };

    void conclude();
    void end(int status);

    CliSession& session_;
    bool quiet_;
    State state_ = State::Idle;
    TransferDirection direction_ = TransferDirection::Upload;
    Done done_;
    std::optional<TransferResult> result_;
    std::optional<StopWatch> stop_;
    std::optional<LentLine> lent_;
    QTimer guard_;
};

} // namespace kx::cli
