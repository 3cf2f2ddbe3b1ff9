#pragma once

#include <QStringList>
#include <optional>

namespace kx {

class VersionInfo;

// The about box's labels, in the order they are shown.
const QStringList& aboutLabels();

// The about box's values column, line for line with the labels: each label's name (the label
// without its "...") is looked up in the version data, a missing value giving an empty line.
// An empty ProductName reads as the program file's full path. Nothing (leave the column as
// it is) when the program carries no version data; a failing lookup ends the lines early.
std::optional<QStringList> aboutValues(const VersionInfo& info, const QString& programFile);

} // namespace kx
