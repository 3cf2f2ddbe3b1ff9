#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kx::sim {

// The settings records as the indicator reads them: their tags, their order and the shape
// of every field. A download is accepted only when it matches exactly; an indicator that
// took a malformed setup would run on garbage, so the simulator refuses what the real one
// must refuse, and says why in its log.
namespace layout {

// The tags in the order of a download, for an indicator with one or two custom outputs.
QList<QByteArray> tagOrder(int outputs);

struct Verdict
{
    bool ok = false;
    QString reason; // empty when ok
};

// Checks one record line (without its CR LF) against the layout its tag names.
Verdict checkRecord(const QByteArray& line, const QByteArray& expectedTag);

// Checks a whole download: the text between STX and EOT, records each ended by CR LF,
// in the order of tagOrder(outputs), nothing before, between or after them.
// On success, records holds the lines without their CR LF.
Verdict checkDownload(const QByteArray& text, int outputs, QList<QByteArray>* records);

} // namespace layout
} // namespace kx::sim
