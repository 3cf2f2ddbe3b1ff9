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
    // False when the setup was not read before the write: what it changed is not known, and
    // the line says "unknown" rather than an empty list that would read as "nothing".
    bool changesKnown = true;
    QString outcome; // completed, refused, no answer, ...
    QString verify;  // "verified", "differs", "not read", "not verified"
    // The first line of a chain begun after a logbook with a cut last line was set aside: that
    // file's name and the SHA-256 of its last whole line, so the two chains join.
    QString continues;
    QString continuesSha256;
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

// The longest a write waits for another process's append to the logbook.
inline constexpr int LockWaitMs = 10000;

// Why the logbook at path can take no line (a folder, a FIFO, a link to a device); empty when
// it can, or does not exist yet. Asked before a write sends anything.
QString refusal(const QString& path);

// Appends entry's line to the logbook at path, whole: under a lock beside it
// (<path>.lock, shared by every process that writes it, waited for up to LockWaitMs), the
// last line is read and the new one, chained to it, added through the save path, which cuts a
// part-written line back off (a full disk). False with why when the line is not in the
// logbook. A logbook whose last line is cut (an edit by hand, a crash of another program) is
// set aside as logbook_<date>_<time>.jsonl and a new chain begun whose first line names it
// and its last whole line's hash; setAside then says so.
bool append(const QString& path, const LogbookEntry& entry, QString* why = nullptr,
            QString* setAside = nullptr);

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
