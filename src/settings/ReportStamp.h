#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx::report {

// The most of a report that is read back: a report of a long visit is a few hundred kB.
inline constexpr qint64 FileLimit = 32 * 1024 * 1024;

// The logbook's head as a report carries it for a later check: in the PDF's XMP metadata,
// which is stored as plain text (the pages' own text is compressed and laid out in pieces).
struct Stamp
{
    QByteArray head; // SHA-256 of the logbook's last line, lowercase hex
    int lines = 0;
};

// The XMP packet of a report: its title and the stamp.
QByteArray xmpFor(const Stamp& stamp, const QString& title);

// The stamp a report's bytes carry; nothing with why when there is none, or more than one
// that differ (a report is never two visits).
std::optional<Stamp> stampIn(const QByteArray& pdf, QString* why = nullptr);

} // namespace kx::report
