#pragma once

#include "cli/CliSession.h"
#include "cli/CommandRun.h"

#include <QCommandLineParser>
#include <optional>

namespace kx::cli {

struct CliContext
{
    QCommandLineParser& options;
    QString programFolder;
    LineChoice line;
    bool quiet = false;
};

// The one file a command works on; nothing, with a usage line, when it is not given.
std::optional<QString> theFile(const CliContext& c, const char* command, const char* what);
// Whether the logbook can take a write's line; said when not (a folder, a FIFO, a link to a
// device), before any port opens.
bool logbookTakesLines(const CliContext& c);
// The options a command adds to the line options.
void addCommandOptions(const QString& command, QCommandLineParser& parser);
// The line the options choose; false with why on a bad value.
bool lineChoiceFrom(const QCommandLineParser& options, LineChoice& line, QString& why);

// Each command checks what it was given and ends at once, or gives main the run that ends
// the event loop with its status.
Started runPorts(CliContext& context);
Started runWeigh(CliContext& context);
Started runUpload(CliContext& context);
Started runDownload(CliContext& context);
Started runDiff(CliContext& context);
Started runDebug(CliContext& context);
Started runFlash(CliContext& context);
Started runCheckHex(CliContext& context);
Started runPublish(CliContext& context);
Started runLogbook(CliContext& context);
void addLogbookOptions(QCommandLineParser& parser);
// The options of publish.
void addPublishOptions(QCommandLineParser& parser);
Started runReport(CliContext& context);
void addReportOptions(QCommandLineParser& parser);
Started runGateway(CliContext& context);
void addGatewayOptions(QCommandLineParser& parser);

} // namespace kx::cli
