#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace kx {

// The lines of a settings file as it is kept: each ended by CR LF.
QByteArray linesText(const QList<QByteArray>& lines);

// Keeps the setup read from the indicator as <folder>/<yyyy-MM-dd_HH-mm-ss>.dat (the folder is
// made when missing), through the one save path; the file's path, or nothing with why. A tag
// (which indicator, when several are backed up in the same second) goes before ".dat" as
// "_<tag>".
std::optional<QString> saveIndicatorBackup(const QString& folder, const QList<QByteArray>& lines,
                                           const QDateTime& at, QString* why,
                                           const QString& tag = {});

} // namespace kx
