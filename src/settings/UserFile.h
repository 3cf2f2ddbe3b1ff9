#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx {

// The most the program reads of a file a user names. A file larger than its bound is not the
// file it claims to be (or would only exhaust memory) and is refused, not read in part.
// Settings files, their backups and the program's own INI files (Port.Ini, bsl.Ini, ADOBE.INI).
inline constexpr qint64 SettingsFileLimit = 16 * 1024 * 1024;
// Firmware update images (Intel-HEX text).
inline constexpr qint64 HexFileLimit = 64 * 1024 * 1024;

// Reads a file a user named, as a file: it is opened without waiting (a FIFO nobody writes
// to, a device that would block), must be a regular file (a symbolic link to one is
// followed), and may hold at most limit bytes. Nothing, with why naming the file and the
// reason in words a user can act on, otherwise.
std::optional<QByteArray> readUserFile(const QString& path, qint64 limit, QString* why = nullptr);

// Why path, when it exists, is not something the program may replace as a file ("is a
// device", "is a FIFO", ...); empty when it is a regular file (through links) or does not exist.
QString notARegularFile(const QString& path);

} // namespace kx
