#include "session/BackupJob.h"

#include "settings/IndicatorBackup.h"

#include <QDateTime>
#include <QDir>
#include <memory>

namespace kx {

BackupJob::BackupJob(Clock& clock, TransferControl& transfer, QString folder)
    : clock_(clock), transfer_(transfer), folder_(std::move(folder)),
      backstop_(clock, GiveUpAfter.count())
{
    backstop_.setOnTimer([this] {
        backstop_.stop();
        transfer_.cancel();
    });
}

void BackupJob::start(const TransferControl::PortFacts& facts, std::function<void()> giveBack,
                      Done done)
{
    running_ = true;
    facts_ = facts;
    giveBack_ = std::move(giveBack);
    done_ = std::move(done);
    Clock& clock = clock_;
    const auto endLater = [this, &clock, alive = std::weak_ptr<bool>(alive_)](bool complete) {
        clock.post([this, alive, complete] {
            if (alive.lock())
                uploadEnded(complete);
        });
    };
    // A run still under way would keep this one from starting, and from ever ending.
    if (transfer_.running()) {
        endLater(false);
        return;
    }
    // The run's end is told from inside the transfer; the line changes hands once the
    // transfer has finished ending it.
    transfer_.watchNextEnd([endLater](const TransferResult& result) {
        endLater(result.outcome == Outcome::Completed);
    });
    transfer_.start(TransferDirection::Upload, facts);
    // A line that keeps dribbling bytes keeps an upload alive up to its size limit; the
    // backup, which has no Cancel of its own, gives up sooner.
    if (transfer_.running())
        backstop_.start();
}

void BackupJob::uploadEnded(bool complete)
{
    backstop_.stop();
    running_ = false;
    if (giveBack_)
        giveBack_();
    giveBack_ = {};
    QString why;
    QString path;
    if (!complete) {
        why = QStringLiteral("The KX7400 did not send its setup.");
    } else {
        path = saveIndicatorBackup(QDir(folder_).filePath(QStringLiteral("SAVED/BACKUP")),
                                   transfer_.uploadLines(), QDateTime::currentDateTime(),
                                   backupTagOf(facts_.portNumber), &why)
                   .value_or(QString());
    }
    const Done done = std::move(done_);
    done_ = {};
    if (done)
        done(path, why);
}

} // namespace kx
