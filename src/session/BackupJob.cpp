#include "session/BackupJob.h"

#include "settings/IndicatorBackup.h"

#include <QDateTime>
#include <QDir>
#include <memory>

namespace kx {

BackupJob::BackupJob(Clock& clock, TransferControl& transfer, QString folder)
    : clock_(clock), transfer_(transfer), folder_(std::move(folder))
{
}

void BackupJob::start(const TransferControl::PortFacts& facts, std::function<void()> giveBack,
                      Done done)
{
    running_ = true;
    giveBack_ = std::move(giveBack);
    done_ = std::move(done);
    // The run's end is told from inside the transfer; the line changes hands once the
    // transfer has finished ending it.
    transfer_.watchNextEnd([this, alive = std::weak_ptr<bool>(alive_)](const TransferResult&) {
        clock_.post([this, alive] {
            if (alive.lock())
                uploadEnded();
        });
    });
    transfer_.start(TransferDirection::Upload, facts);
}

void BackupJob::uploadEnded()
{
    const bool complete = transfer_.lastUploadComplete();
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
                                   transfer_.uploadLines(), QDateTime::currentDateTime(), &why)
                   .value_or(QString());
    }
    const Done done = std::move(done_);
    done_ = {};
    if (done)
        done(path, why);
}

} // namespace kx
