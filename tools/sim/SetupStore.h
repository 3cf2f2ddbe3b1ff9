#pragma once

#include "RecordLayout.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

namespace kx::sim {

// The setup the indicator holds: what an upload sends and a good download replaces.
// The date/time record is not kept; it is the indicator's clock, read at each upload.
class SetupStore
{
public:
    explicit SetupStore(int outputs) { reset(outputs); }

    // Back to the built-in setup of a new indicator with one or two custom outputs.
    void reset(int outputs);
    int outputs() const { return outputs_; }

    // The records as an upload sends them, each ended by CR LF, [TAD] last.
    QByteArray uploadText(const QDateTime& now) const;
    // The text between the download's STX and EOT; kept only when well formed.
    layout::Verdict takeDownload(const QByteArray& text);

    static QByteArray dateTimeRecord(const QDateTime& now);

private:
    int outputs_ = 1;
    QList<QByteArray> records_; // without [TAD] and without line ends
};

} // namespace kx::sim
