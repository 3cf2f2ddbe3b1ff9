#pragma once

#include "cli/LineChoice.h"

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <optional>

namespace kx::cli {

// One indicator of a download to several, as the command line names it.
struct NamedLine
{
    QString name;    // "port 2", or the device as given
    QString fileTag; // in its backup's file name: "port2", or the device's own name
    LineChoice line;
};

// The indicators a download names by --port or --device given more than once; nothing when
// only one is named (the single download), and usage set with why on a list that cannot be
// used (a mix, the same indicator twice, --log or --dry-run with several).
std::optional<QList<NamedLine>> manyLines(const QCommandLineParser& options,
                                          const QString& programFolder, const LineChoice& line,
                                          QString& usage);

} // namespace kx::cli
