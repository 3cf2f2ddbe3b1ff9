#pragma once

#include "cli/CliSession.h"

#include <QCommandLineParser>

namespace kx::cli {

struct CliContext
{
    QCommandLineParser& options;
    QString programFolder;
    LineChoice line;
    bool quiet = false;
};

// The options a command adds to the line options.
void addCommandOptions(const QString& command, QCommandLineParser& parser);
// The line the options choose; false with why on a bad value.
bool lineChoiceFrom(const QCommandLineParser& options, LineChoice& line, QString& why);

int runPorts(CliContext& context);
int runWeigh(CliContext& context);
int runUpload(CliContext& context);
int runDownload(CliContext& context);
int runDiff(CliContext& context);
int runDebug(CliContext& context);
int runFlash(CliContext& context);
int runCheckHex(CliContext& context);
int runPublish(CliContext& context);
int runLogbook(CliContext& context);
void addLogbookOptions(QCommandLineParser& parser);
// The options of publish.
void addPublishOptions(QCommandLineParser& parser);
int runGateway(CliContext& context);
void addGatewayOptions(QCommandLineParser& parser);

} // namespace kx::cli
