#pragma once

#include "link/Clock.h"
#include "link/Timer.h"
#include "transfer/TransferControl.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

namespace kx {

// The backup before a write: reads the indicator's setup through the transfer, as the
// editor's Upload does, and saves it as SAVED/BACKUP/<date>_<time>_port<N>.dat in the program's
// folder. It drives one upload and calls back when that run has ended, however it ended.
class BackupJob
{
public:
    // The saved path, or an empty one and why.
    using Done = std::function<void(const QString& path, const QString& why)>;
    // The longest a backup may hold the line: 600 ticks of 55 ms, three times the entry
    // wait, and an upload at any rate the indicator offers takes a few seconds.
    static constexpr std::chrono::milliseconds GiveUpAfter{600 * 55};

    BackupJob(Clock& clock, TransferControl& transfer, QString folder);

    bool running() const { return running_; }

    // The transfer must have the line. When the upload has ended, giveBack returns the line,
    // then the file is saved and done is told.
    void start(const TransferControl::PortFacts& facts, std::function<void()> giveBack,
               Done done);

private:
    void uploadEnded(bool complete);

    Clock& clock_;
    TransferControl& transfer_;
    QString folder_;
    Timer backstop_;
    TransferControl::PortFacts facts_;
    bool running_ = false;
    std::function<void()> giveBack_;
    Done done_;
    // A posted ending finds out through this whether the job still exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace kx
