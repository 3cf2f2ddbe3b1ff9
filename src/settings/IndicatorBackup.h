#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace kx {

// The lines of a settings file as it is kept: each ended by CR LF.
QByteArray linesText(const QList<QByteArray>& lines);

// Which indicator a backup is of, as it stands in the backup's name: "port<N>" for a port
// chosen by number, or the device's own name ("ttyUSB0") with anything but letters, digits
// and '-' made '-'.
QString backupTagOf(int port, const QString& device = {});

// Keeps the setup read from the indicator as <folder>/<yyyy-MM-dd_HH-mm-ss>_<tag>.dat (the
// folder is made when missing), through the one save path, as a new file: a name already
// taken (another backup in the same second, by this process or another) gets "-2", "-3" ...
// before ".dat", so no backup ever replaces another. The file's path, or nothing with why.
std::optional<QString> saveIndicatorBackup(const QString& folder, const QList<QByteArray>& lines,
                                           const QDateTime& at, const QString& tag, QString* why);

} // namespace kx
