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
    // The run still going is ended now; its end is heard at once, so what it had done by
    // then (the data taken, only the read-back stopped) decides what is said.
    if (!result_)
        session_.panel().cancelTransfer();
    const bool stopped = stopRequested();
    // The data was taken: nothing of it was cancelled, only its check.
    const bool onlyVerifyStopped = result_ && result_->ending == TransferEnding::VerifyStopped;
    if (stopped && onlyVerifyStopped) {
        session_.say(stopMessage(QStringLiteral("the download was complete; its read-back was "
                                                "stopped, so it is not verified")));
    } else if (stopped && (!result_ || result_->outcome == Outcome::Cancelled)) {
        // The send path may have met the signal first and cancelled the run itself.
        session_.say(QStringLiteral("Action Cancelled"));
        session_.say(stopMessage(direction_ == TransferDirection::Upload
                                     ? QStringLiteral("the upload was cancelled")
                                     : QStringLiteral("the download was cancelled")));
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
    // A setup read whole but not of the expected size is still worth a word when quiet.
    if (quiet_ && result_->outcome == Outcome::Completed && !result_->recordCountNote.isEmpty())
        session_.say(result_->recordCountNote);
    if (quiet_ && result_->outcome != Outcome::Completed) {
        // Quiet hides the progress, never why the command failed.
        if (!result_->detail.isEmpty())
            session_.say(result_->detail);
        for (const QString& difference : result_->differences)
            session_.say(difference);
        if (!result_->recordCountNote.isEmpty())
            session_.say(result_->recordCountNote);
        if (result_->mayHoldNewSetup)
            session_.say(QStringLiteral("The KX7400 may hold the new setup: read it back (upload) "
                                        "to see what it holds before you rely on it."));
        if (!result_->text.isEmpty())
            session_.say(result_->text);
    }
    // A stopped command did not do all it was asked, even where what it did is whole.
    const int status = exitStatusFor(result_->outcome);
    end(stopped && status == Success ? Refused : status);
}

void TransferRun::end(int status)
{
    stop_.reset();
    state_ = State::Idle;
    QMetaObject::invokeMethod(this, [done = std::exchange(done_, nullptr), status] { done(status); },
                              Qt::QueuedConnection);
}

} // namespace kx::cli
