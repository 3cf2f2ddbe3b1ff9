#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QStringList>

namespace kx {

// What a download is built from: the settings file as it stands on disk and the few values
// the editor's controls give instead of the file.
struct DownloadSource
{
    QByteArray fileText;
    // The unit keys ("lb Units", ...) whose check box is ticked on the editor.
    QSet<QByteArray> tickedUnits;
    // The editor's network choice is "Field Bus" (else Ethernet).
    bool fieldBus = false;
    // The editor offers the second custom output: its records go between [CFM] and [TAD].
    bool secondOutput = false;
    QDateTime now;
};

struct DownloadBuild
{
    // The records, each ended by CR LF, as they go between STX and EOT.
    QByteArray records;
    // Empty on success; else the failed record's line, and what did not fit, for the status
    // panel. No record after a failed one is built.
    QStringList failures;
    bool ok() const { return failures.isEmpty(); }
};

// Builds the nine (or eleven) download records. A value never makes a record fail unless it
// cannot be written in its fixed-width field (only a hand-edited file holds such a value):
// nothing malformed is ever sent.
DownloadBuild buildDownloadRecords(const DownloadSource& source);

// The custom factor as the record carries it: the stored text read as a number, printed as
// wide as the text and with as many decimals as it has.
QByteArray factorField(const QByteArray& stored);

} // namespace kx
