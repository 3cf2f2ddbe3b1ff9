#include "trend/CsvRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace kx {

CsvRecorder::~CsvRecorder()
{
    close();
}

bool CsvRecorder::open(const QString& path, qint64 nowMs, QString* why)
{
    close();
    failure_.clear();
    pending_.clear();
    rowEnds_.clear();
    rows_ = 0;
    written_ = 0;
    toStdout_ = path == QLatin1String("-");
    path_ = toStdout_ ? QStringLiteral("standard output") : QDir::toNativeSeparators(path);
    bool ok;
    if (toStdout_) {
        std::fflush(stdout);
        ok = file_.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered,
                        QFileDevice::DontCloseHandle);
    } else {
        QDir().mkpath(QFileInfo(path).absolutePath());
        file_.setFileName(path);
        ok = file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    }
    if (!ok) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(path_, file_.errorString());
        return false;
    }
    open_ = true;
    lastFlushMs_ = nowMs;
    pending_ = csvHeader();
    // The header is no row, but it is cut off like one if it cannot be written whole.
    rowEnds_.push_back(pending_.size());
    if (!flush(nowMs)) {
        if (why)
            *why = failure_;
        return false;
    }
    return true;
}

void CsvRecorder::close()
{
    if (!open_)
        return;
    flush(lastFlushMs_);
    open_ = false;
    file_.close();
}

void CsvRecorder::record(const WeightRecord& record, qint64 nowMs)
{
    if (!open_)
        return;
    pending_ += csvRow(record);
    rowEnds_.push_back(pending_.size());
    ++rows_;
    flushIfDue(nowMs);
}

void CsvRecorder::flushIfDue(qint64 nowMs)
{
    if (open_ && !pending_.isEmpty() && nowMs - lastFlushMs_ >= FlushIntervalMs)
        flush(nowMs);
}

bool CsvRecorder::flush(qint64 nowMs)
{
    if (!open_)
        return false;
    lastFlushMs_ = nowMs;
    if (pending_.isEmpty())
        return true;
    const qint64 done = file_.write(pending_);
    if (done == pending_.size()) {
        written_ += done;
        pending_.clear();
        rowEnds_.clear();
        return true;
    }
    // Keep only the rows that reached the file whole.
    qsizetype kept = 0;
    qint64 keptRows = 0;
    for (const qsizetype end : rowEnds_)
        if (end <= std::max<qint64>(done, 0)) {
            kept = end;
            ++keptRows;
        }
    const bool headerPending = written_ == 0;
    const qint64 lostRows = qint64(rowEnds_.size()) - keptRows;
    // A short write says nothing itself; the write of the rest fails outright and carries
    // the system's reason (it is cut off again below).
    if (done >= 0 && !toStdout_)
        file_.write(pending_.mid(done));
    failure_ = QStringLiteral("%1: %2").arg(
        path_, file_.error() != QFileDevice::NoError
                   ? file_.errorString()
                   : QStringLiteral("the disk is full or the file may grow no larger"));
    if (!toStdout_)
        file_.resize(written_ + kept);
    // The header counts in rowEnds_ but not in rows_.
    rows_ -= headerPending && keptRows == 0 ? lostRows - 1 : lostRows;
    pending_.clear();
    rowEnds_.clear();
    open_ = false;
    file_.close();
    return false;
}

} // namespace kx
