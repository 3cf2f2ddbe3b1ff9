#include "cli/TransferRun.h"


namespace kx::cli {

TransferRun::TransferRun(CliSession& session, bool quiet) : session_(session), quiet_(quiet)
{
    guard_.setSingleShot(true);
    connect(&guard_, &QTimer::timeout, this, [this] { conclude(); });
}

TransferRun::~TransferRun()
{
    // A run still lent the line ends as the line goes back; nothing is left to hear it.
    session_.onTransferEnded = nullptr;
}

void TransferRun::run(TransferDirection direction, Done done)
{
    state_ = State::Running;
    direction_ = direction;
    done_ = std::move(done);
    result_.reset();
    stop_.emplace([this] { conclude(); });
    lent_.emplace(session_.panel());
    if (!*lent_) {
        lent_.reset();
        session_.say(QStringLiteral("The line is busy."));
        end(PortError);
        return;
    }
    session_.onTransferEnded = [this](const TransferResult& result) {
        result_ = result;
        if (state_ == State::Running)
            QMetaObject::invokeMethod(this, [this] { conclude(); }, Qt::QueuedConnection);
    };
    guard_.start(GuardMs);
    session_.panel().startTransfer(direction);
}

void TransferRun::conclude()
{
    if (state_ != State::Running)
        return;
    state_ = State::Concluding;
    guard_.stop();
    // The send path may have met the signal first and cancelled the run itself.
    const bool stoppedRun = stopRequested() && (!result_ || result_->outcome == Outcome::Cancelled);
    if (stoppedRun || !result_) {
        if (stopRequested()) {
            session_.say(QStringLiteral("Action Cancelled"));
            session_.say(stopMessage(direction_ == TransferDirection::Upload
                                         ? QStringLiteral("the upload was cancelled")
                                         : QStringLiteral("the download was cancelled")));
        }
        if (!result_)
            session_.panel().cancelTransfer();
    }
    // The line goes back to polling; a run still open ends there and is heard.
    lent_.reset();
    session_.onTransferEnded = nullptr;
    if (!result_) {
        session_.say(QStringLiteral("The transfer did not end."));
        end(TimedOut);
        return;
    }
    if (quiet_) {
        // A write the logbook does not hold is said whatever else is hidden.
        if (!result_->logbookNote.isEmpty())
            session_.say(result_->logbookNote);
        if (!result_->notLogged.isEmpty())
            session_.say(result_->notLogged);
    }
    if (quiet_ && result_->outcome != Outcome::Completed) {
        // Quiet hides the progress, never why the command failed.
        if (!result_->detail.isEmpty())
            session_.say(result_->detail);
        for (const QString& difference : result_->differences)
            session_.say(difference);
        if (result_->mayHoldNewSetup)
            session_.say(QStringLiteral("The KX7400 may hold the new setup: read it back (upload) "
                                        "to see what it holds before you rely on it."));
        if (!result_->text.isEmpty())
            session_.say(result_->text);
    }
    end(exitStatusFor(result_->outcome));
}

void TransferRun::end(int status)
{
    stop_.reset();
    state_ = State::Idle;
    QMetaObject::invokeMethod(this, [done = std::exchange(done_, nullptr), status] { done(status); },
                              Qt::QueuedConnection);
}

} // namespace kx::cli
