#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx {

// The one way the program writes a file. The new content goes to a temporary file beside the
// target, every step (open, each write, sync, rename) is checked, and only a complete copy
// replaces the old file: on any failure the old file is left byte for byte as it was and
// error (when given) says which file and why, in words a user can act on.
bool saveFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Where a save stopped: the file could not be created at all, or it was created and then
// writing, syncing or putting it in place failed. Callers that report the two differently
// pass stage.
enum class SaveFailure
{
    None,
    Create,
    Write
};
bool saveFile(const QString& path, const QByteArray& bytes, QString* error, SaveFailure* stage);

// A file that must never replace another (a signed record, a report): written whole and
// checked as saveFile does, then put in place only where no file (nor link) of that name
// stands; false with "already exists" said, when one does, and nothing else changed.
bool saveNewFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// A file is read-only when it carries no write permission at all, whoever runs the program
// (an administrator included), or when this process may not write it. A missing file is not.
bool isReadOnly(const QString& path);

// A file no other writer has: folder/<stem><ext>, or <stem>-2<ext>, -3 ... when that name is
// taken. Each name is created exclusively, so two writers in the same second (two processes
// too) never share one and none overwrites a file already there. Written, synced and closed
// with every step checked; a failure removes what was created. The path, or nothing with why.
std::optional<QString> saveNewFile(const QString& folder, const QString& stem, const QString& ext,
                                   const QByteArray& bytes, QString* error = nullptr);

// Adds bytes at the end of path (created when missing), synced. A short write, a full disk or
// a failed sync cuts the file back to its length before, so it never ends with part of bytes;
// a path that is no regular file is refused untouched. The caller serialises writers.
bool appendWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Keeps a copy of path as backup unless backup already exists; true when there was nothing to
// copy. A copy that fails leaves no partial backup behind.
bool keepBackup(const QString& path, const QString& backup, QString* error = nullptr);

} // namespace kx
