#pragma once

#include "settings/Logbook.h"
#include "settings/SettingsDiff.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace kx {

// What a service report says about one visit to one indicator, put together from the logbook,
// the backups and sent files it names, and the setup read at report time. No rendering here:
// the PDF (or a test) takes it as it stands.
struct ServiceReport
{
    struct Setting
    {
        QString page;
        QString caption;
        QString value;
    };
    struct Change
    {
        QString page;
        QString caption;
        QString from;
        QString to;
    };

    // The header.
    QString site;
    QString technician;
    QString note;
    int port = 0;
    QString device;
    QString customName;  // as the indicator's setup names it; empty: none known
    QString nodeAddress; // likewise
    QDateTime from;      // the visit's first write, or the report's time when none
    QDateTime to;        // the report's time
    QString version;
    QString machine;

    QList<LogbookEntry> writes; // the visit's, oldest first

    // As found and as left: where each setup came from, and its settings as the editor's
    // pages show them; an empty list with a source that says why when it is not known.
    QString foundFrom;
    QList<Setting> found;
    QString leftFrom;
    QList<Setting> left;
    // Whether the indicator holds what was last sent: one line, then the differences.
    QString verified;
    QList<Change> notAsSent;

    QList<Change> changes; // as found -> as left
    bool changesKnown = false;

    // The record.
    logbook::Head head;
    bool chainWhole = false;
    QString chain; // the chain check's result in words
};

// What the report is made of.
struct ReportInputs
{
    QByteArray logbook; // the logbook's bytes as they stand
    QString device;     // the indicator: its device path, as the logbook names it
    int port = 0;       // its port number; 0 when given by its device
    // The visit begins here; not valid: at the indicator's first logbook line of now's day.
    QDateTime since;
    QDateTime now;
    // The setup read from the indicator at report time (the lines of a settings file).
    std::optional<QByteArray> readNow;
    DiffScope scope;
    QString site, technician, note, version, machine;
    // Reads a file the logbook names (a backup, a file sent); nothing with why when it cannot.
    std::function<std::optional<QByteArray>(const QString& path, QString* why)> readFile;
};

// The report, or nothing with why when there is nothing to say what the indicator holds now:
// no read at report time and no verified download ending the visit.
std::optional<ServiceReport> composeReport(const ReportInputs& in, QString* why);

// Where a report of the device's visit goes by default: <folder>/<date>_<device>.pdf, with
// "_2", "_3", ... added while that name (or its .sha256) is taken.
QString freeReportPath(const QString& folder, const QString& device, const QDateTime& now);

} // namespace kx
