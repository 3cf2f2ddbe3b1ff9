#pragma once

#include "firmware/UpdateOutcome.h"
#include "settings/Logbook.h"
#include "transfer/TransferOutcome.h"

#include <QDateTime>
#include <QString>

namespace kx {

// Which line a write went over.
struct WriteLine
{
    int port = 0;
    QString device;
    // The indicator has the second custom output (what a download carries).
    bool secondOutput = false;
};

// The logbook's line for a download whose data went out: the settings it changed (from the
// setup read before it, when one was), how it ended and what the read-back found.
LogbookEntry downloadEntry(const TransferResult& result, const WriteLine& line, const QDateTime& now);
// ... and for a firmware update that sent at least one line.
LogbookEntry updateEntry(const UpdateEnd& end, const QString& file, const QByteArray& sha256,
                         const WriteLine& line, const QDateTime& now);

} // namespace kx
