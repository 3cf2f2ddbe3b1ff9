#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace kx {

// One write that reached an indicator, as the logbook keeps it.
struct LogbookEntry
{
    struct Change
    {
        QString key; // "Calibration/Scale Capacity"
        QString before;
        QString after;
    };

    QDateTime time; // local time; written with its UTC offset
    QString user;
    QString host;
    QString version;
    int port = 0;
    QString device;
    QString action;     // "download", "partial download", "firmware update"
    QString file;       // what was sent, as named
    QString fileSha256; // of the bytes sent from it
    QString backup;     // the setup kept before the write; empty: none
    QList<Change> changes;
    QString outcome; // completed, refused, no answer, ...
    QString verify;  // "verified", "differs", "not read", "not verified"
};

// The logbook of every write to an indicator: LOGS/logbook.jsonl in the program's folder, one
// JSON object a line. Each line carries the SHA-256 of the line before it ("prev"; 64 zeros
// for the first), so an edited, removed or reordered line no longer fits the chain. A chain
// rewritten whole from the edit on still fits: the chain shows tampering by hand, it does not
// prove who wrote the file.
namespace logbook {

// Files past this are not read (a logbook grows by a few hundred bytes a write).
inline constexpr qint64 FileLimit = 64 * 1024 * 1024;

QString pathIn(const QString& programFolder);

// The JSON line (without its line end) for entry after a line whose SHA-256 is prev.
QByteArray lineFor(const LogbookEntry& entry, const QByteArray& prevSha256Hex);
QByteArray sha256Hex(const QByteArray& line);

// Appends entry to the logbook at path through the save path: the whole new file replaces the
// old only once written and synced, so a full disk is said at once and never leaves a cut
// line. False with why when it could not be written; a logbook that does not end with a
// whole line (an edit by hand) is not appended to.
bool append(const QString& path, const LogbookEntry& entry, QString* why = nullptr);

struct Line
{
    int number = 0; // from 1
    QByteArray text;
    std::optional<LogbookEntry> entry; // nothing: not an entry (bad JSON)
    QByteArray prev;                   // its "prev" field
};

// The lines of a logbook's bytes, as they stand.
QList<Line> parse(const QByteArray& bytes);

// The first line (from 1) that does not fit the chain, with why; 0 when every line fits.
int firstBadLine(const QByteArray& bytes, QString* why = nullptr);

// Where a logbook stands: its line count and the SHA-256 of its last line (empty for an empty
// logbook). Written down elsewhere (a report, a ticket, a note), the head catches what the
// chain alone cannot: the newest line edited or taken away, the file emptied or rewritten.
struct Head
{
    int lines = 0;
    QByteArray sha256; // lowercase hex
};
Head headOf(const QByteArray& bytes);

// Whether the logbook still holds a line whose SHA-256 is head (hex, either case), and where:
// the line number from 1, or 0 when no line has it (a changed, removed or rewritten line).
int lineWithHead(const QByteArray& bytes, const QByteArray& head);

// A text that may be a head: 64 hex digits.
bool isHead(const QByteArray& text);

} // namespace logbook
} // namespace kx
