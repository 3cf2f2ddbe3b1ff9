#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kx {

// What the check made of an update file.
struct HexCheckResult
{
    bool ok = false;
    // The lines to send, in file order, without their line ends; blank lines left out.
    QList<QByteArray> lines;
    // The file's line (from 1) that is wrong; 0 when the fault is the file as a whole.
    int badLine = 0;
    // What is wrong, in words for the technician; empty when ok.
    QString problem;
};

// Checks a whole update file as Intel-HEX before any byte of it reaches the indicator:
// every non-blank line one record (":" and hex digits, its byte count, its checksum, a known
// record type of the right length), an end-of-file record as the last record, and every line's
// message small enough for the loader's transmit buffer. Lines may end in CR LF, LF or CR.
HexCheckResult checkIntelHex(const QByteArray& content);

} // namespace kx
