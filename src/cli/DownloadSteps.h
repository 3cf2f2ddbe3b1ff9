#pragma once

#include "cli/Commands.h"
#include "cli/LineRun.h"
#include "cli/ManyLines.h"
#include "settings/SettingsRecord.h"
#include "settings/SettingsValueCheck.h"

#include <QList>
#include <functional>
#include <optional>

namespace kx::cli {

// A settings file as download sends it: read once and checked whole before any port opens,
// and what the editor would show of it.
struct CheckedDownload
{
    CheckedSettings checked;
    SettingsRecord record;
};

// Reads and checks FILE; nothing, with the refusal said, when it may not be sent.
std::optional<CheckedDownload> checkedDownload(const QString& file);

// On a line already open: reads the indicator's setup (editor: what stands in for the
// editor's controls, when a file is compared) and gives then the lines of its settings file;
// a read that fails ends the command with its status.
void uploadLines(LineRun& line, const SettingsRecord* editor,
                 std::function<void(const QList<QByteArray>&)> then);

// On a line already open: the backup (unless --no-backup), then the download of what was
// checked with its verify; its logbook line is the session's. done hears the status.
void backUpAndSend(LineRun& line, const CheckedDownload& file,
                   std::function<void(int status)> done);

// The same checked file to every line at once, each with its own backup, download, verify and
// logbook line; a table (or --json) of how each ended, and the worst of their statuses.
Started runManyDownload(CliContext& c, const CheckedDownload& file, QList<NamedLine> lines);

} // namespace kx::cli
