#pragma once

#include "cli/CliSession.h"
#include "cli/CommandRun.h"
#include "cli/TransferRun.h"

#include <functional>
#include <memory>

namespace kx::cli {

struct CliContext;

// A command that talks to the indicator: a session on the chosen line whose port opens first;
// a port that cannot be opened ends the command with the reason and the port error's status.
// Then the command's own steps, from opened() or the steps given, which end it with finish().
class LineRun : public CommandRun
{
public:
    using Steps = std::function<void(LineRun&)>;

    explicit LineRun(const CliContext& context, Steps steps = {});

    void start() override;
    // One of several lines: its messages start with name, and its backup's file name ends
    // with fileTag.
    void setName(const QString& name, const QString& fileTag)
    {
        name_ = name;
        fileTag_ = fileTag;
    }
    const QString& fileTag() const { return fileTag_; }
    CliSession& session() { return *session_; }
    // The transfers of the command, one at a time.
    TransferRun& transfer() { return *transfer_; }
    const CliContext& context() const { return context_; }

protected:
    virtual void opened();

private:
    const CliContext& context_;
    Steps steps_;
    QString name_;
    QString fileTag_;
    // Made once the loop runs, so nothing of the line starts before the command does. The
    // session goes last, after the transfer and whatever of the command still uses it.
    std::unique_ptr<CliSession> session_;
    std::unique_ptr<TransferRun> transfer_;
};

// Nothing goes to the indicator without a copy of what it held: its setup is read and saved
// as <backup dir>/<date>_<time>_<line>.dat first (a new file, never one already there),
// unless --no-backup. then hears Success, or the
// status of why not (said).
void backUp(LineRun& line, std::function<void(int status)> then);

} // namespace kx::cli
