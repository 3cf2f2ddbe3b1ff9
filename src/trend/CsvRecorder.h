#pragma once

#include "trend/WeightRecord.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

namespace kx {

// A recording of shown frames as CSV, one row a frame under a header row. Rows are gathered
// and written at most once a second, so a recording costs the disk one write a second whatever
// the frame rate. When a write fails (a full disk) the recording stops, says why once, and the
// file keeps every complete row that reached it: a row cut in half is taken off again.
class CsvRecorder
{
public:
    static constexpr qint64 FlushIntervalMs = 1000;

    ~CsvRecorder();

    // Starts a recording into path ("-" for standard output), replacing what the file held;
    // false with why when it cannot be opened.
    bool open(const QString& path, qint64 nowMs, QString* why = nullptr);
    // Writes what is gathered and ends the recording.
    void close();
    bool isOpen() const { return open_; }
    const QString& path() const { return path_; }
    // Rows taken so far (after a failure: the rows the file keeps).
    qint64 rows() const { return rows_; }
    // Why the recording stopped by itself; empty while it runs or after a close.
    const QString& failure() const { return failure_; }

    void record(const WeightRecord& record, qint64 nowMs);
    // Writes what is gathered once the interval has passed since the last write.
    void flushIfDue(qint64 nowMs);
    // Writes what is gathered now; false when the recording stopped on it.
    bool flush(qint64 nowMs);

private:
    QFile file_;
    QString path_;
    QString failure_;
    bool open_ = false;
    bool toStdout_ = false;
    QByteArray pending_;
    // Where each gathered row ends in pending_, so a short write keeps whole rows only.
    std::vector<qsizetype> rowEnds_;
    qint64 written_ = 0; // bytes in the file
    qint64 rows_ = 0;
    qint64 lastFlushMs_ = 0;
};

} // namespace kx
