#pragma once

#include "RecordLayout.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <optional>

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

    // An indicator that does not take every value it acknowledges: after each good download
    // the field (from 1, after the tag) of the record with that tag holds value, or with no
    // value keeps what it held before the download.
    struct Hold
    {
        QByteArray tag; // "[CAL],"
        int field = 0;
        std::optional<QByteArray> value;
    };
    // "[CAL],1=5000" or "[CAL],1"; false when text is not one.
    bool addHold(const QByteArray& text);

private:
    QList<Hold> holds_;
    int outputs_ = 1;
    QList<QByteArray> records_; // without [TAD] and without line ends
};

} // namespace kx::sim
