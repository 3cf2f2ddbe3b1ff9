#pragma once

#include "settings/ServiceReport.h"

#include <QByteArray>
#include <QPageSize>
#include <QString>

namespace kx {

// The paper of the machine's locale: Letter where it is the custom (the US, Canada, ...),
// A4 elsewhere.
QPageSize::PageSizeId localePaper();
// "a4" or "letter" (any case); nothing else.
std::optional<QPageSize::PageSizeId> paperNamed(const QString& name);

// The report as a PDF: a title, a table a section (long ones over pages, their column heads
// repeated), the indicator and the page number on every page, fonts embedded, and the
// logbook's head in the document's metadata for a later check. Needs a QGuiApplication.
QByteArray reportPdf(const ServiceReport& report, QPageSize::PageSizeId paper);

// Writes the report to path and its SHA-256 to path.sha256 (as sha256sum -c reads it), both
// or neither, never over a file that stands; the report's SHA-256, or nothing with why.
std::optional<QByteArray> saveReport(const QString& path, const ServiceReport& report,
                                     QPageSize::PageSizeId paper, QString* why);

} // namespace kx
