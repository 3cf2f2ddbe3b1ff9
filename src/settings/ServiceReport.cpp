#include "settings/ServiceReport.h"

#include "settings/IniDocument.h"
#include "settings/SettingCaptions.h"
#include "settings/SettingsFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace kx {
namespace {

bool isDownload(const LogbookEntry& e)
{
    return e.action.endsWith(QLatin1String("download"));
}

QString shownTime(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

SettingsRecord recordOf(const QByteArray& text)
{
    return readSettings(IniDocument::fromBytes(text));
}

QList<ServiceReport::Setting> settingsOf(const QByteArray& text, const DiffScope& scope)
{
    const SettingsRecord record = recordOf(text);
    QList<ServiceReport::Setting> out;
    for (const ComparedSetting& s : compareSettings(record, record, scope)) {
        const SettingPlace place = settingPlace(s.values.section, s.values.key);
        out.append({place.page, place.caption, s.values.first});
    }
    return out;
}

QList<ServiceReport::Change> changesBetween(const QByteArray& a, const QByteArray& b,
                                            const DiffScope& scope)
{
    QList<ServiceReport::Change> out;
    for (const SettingDifference& d : diffSettings(recordOf(a), recordOf(b), scope)) {
        const SettingPlace place = settingPlace(d.section, d.key);
        out.append({place.page, place.caption, d.first, d.second});
    }
    return out;
}

// The file a write named, only while it still holds the bytes that were sent from it: a file
// edited since says nothing about what the indicator got.
std::optional<QByteArray> fileAsSent(const ReportInputs& in, const LogbookEntry& e, QString* why)
{
    const auto bytes = in.readFile(e.file, why);
    if (!bytes)
        return std::nullopt;
    const QByteArray sha = QCryptographicHash::hash(*bytes, QCryptographicHash::Sha256).toHex();
    if (sha != e.fileSha256.toLatin1().toLower()) {
        if (why)
            *why = QStringLiteral("%1 has changed since it was sent").arg(e.file);
        return std::nullopt;
    }
    return bytes;
}

// The indicator's writes of the visit: from since, or from the first of now's day.
QList<LogbookEntry> visitWrites(const ReportInputs& in)
{
    QList<LogbookEntry> out;
    for (const logbook::Line& line : logbook::parse(in.logbook)) {
        if (!line.entry)
            continue;
        const LogbookEntry& e = *line.entry;
        const bool same = in.device.isEmpty() ? e.port == in.port : e.device == in.device;
        if (!same || e.time > in.now)
            continue;
        if (in.since.isValid() ? e.time < in.since
                               : e.time.toLocalTime().date() != in.now.toLocalTime().date())
            continue;
        out.append(e);
    }
    return out;
}

// As found: the backup the visit's first download kept; for a visit that sent no setup, what
// is read now.
void findAsFound(const ReportInputs& in, ServiceReport& r, std::optional<QByteArray>& found)
{
    const auto first = std::find_if(r.writes.begin(), r.writes.end(), isDownload);
    if (first == r.writes.end()) {
        if (in.readNow) {
            found = in.readNow;
            r.foundFrom = QStringLiteral("Read from the indicator at %1; nothing was sent to its "
                                         "setup during the visit.")
                              .arg(shownTime(in.now));
        }
        return;
    }
    if (first->backup.isEmpty()) {
        r.foundFrom = QStringLiteral("Not known: the visit's first download (%1) kept no backup "
                                     "of the setup it replaced.")
                          .arg(shownTime(first->time));
        return;
    }
    QString why;
    found = in.readFile(first->backup, &why);
    r.foundFrom = found ? QStringLiteral("The backup taken before the first download (%1): %2")
                              .arg(shownTime(first->time), first->backup)
                        : QStringLiteral("Not known: %1").arg(why);
}

// As left: the read at report time, or the file of a verified download that ended the visit.
bool findAsLeft(const ReportInputs& in, ServiceReport& r, std::optional<QByteArray>& left,
                QString* why)
{
    if (in.readNow) {
        left = in.readNow;
        r.leftFrom = QStringLiteral("Read back from the indicator at %1.").arg(shownTime(in.now));
        return true;
    }
    QString reason = QStringLiteral("nothing was sent during the visit");
    if (!r.writes.isEmpty()) {
        const LogbookEntry& last = r.writes.last();
        if (!isDownload(last) || last.outcome != QLatin1String("completed") ||
            last.verify != QLatin1String("verified"))
            reason = QStringLiteral("the visit's last write (%1, %2) was not a verified download")
                         .arg(shownTime(last.time), last.action);
        else if ((left = fileAsSent(in, last, &reason)))
            r.leftFrom = QStringLiteral("The file the last download sent, verified by read-back "
                                        "(%1): %2")
                             .arg(shownTime(last.time), last.file);
    }
    if (left)
        return true;
    if (why)
        *why = QStringLiteral("What the indicator holds now is not known from the logbook (%1): "
                              "read it with --read.")
                   .arg(reason);
    return false;
}

void checkAsSent(const ReportInputs& in, ServiceReport& r, const QByteArray& left)
{
    const auto last = std::find_if(r.writes.rbegin(), r.writes.rend(), isDownload);
    if (last == r.writes.rend()) {
        r.verified = QStringLiteral("Nothing was sent to the indicator's setup during the visit.");
        return;
    }
    QString why;
    const auto sent = fileAsSent(in, *last, &why);
    if (!sent) {
        r.verified = QStringLiteral("Not compared with what was last sent: %1.").arg(why);
        return;
    }
    const int compared = int(compareSettings(recordOf(*sent), recordOf(*sent), in.scope).size());
    r.notAsSent = changesBetween(*sent, left, in.scope);
    r.verified =
        r.notAsSent.isEmpty()
            ? QStringLiteral("Verified: the KX7400 holds all %1 settings sent.").arg(compared)
            : QStringLiteral("Not as sent: the KX7400 holds %1 of the %2 settings sent "
                             "otherwise.")
                  .arg(r.notAsSent.size())
                  .arg(compared);
}

} // namespace

std::optional<ServiceReport> composeReport(const ReportInputs& in, QString* why)
{
    ServiceReport r;
    r.site = in.site;
    r.technician = in.technician;
    r.note = in.note;
    r.port = in.port;
    r.device = in.device;
    r.version = in.version;
    r.machine = in.machine;
    r.to = in.now;
    r.writes = visitWrites(in);
    r.from = r.writes.isEmpty() ? in.now : r.writes.first().time;

    std::optional<QByteArray> found, left;
    if (!findAsLeft(in, r, left, why))
        return std::nullopt;
    findAsFound(in, r, found);
    r.left = settingsOf(*left, in.scope);
    if (found)
        r.found = settingsOf(*found, in.scope);
    checkAsSent(in, r, *left);
    if (found) {
        r.changes = changesBetween(*found, *left, in.scope);
        r.changesKnown = true;
    }
    const SettingsRecord identity = recordOf(*left);
    r.customName = QString::fromLatin1(identity.value("CustomName")).trimmed();
    r.nodeAddress = QString::fromLatin1(identity.value("NEBusID")).trimmed();

    r.head = logbook::headOf(in.logbook);
    QString bad;
    r.chainWhole = logbook::firstBadLine(in.logbook, &bad) == 0;
    r.chain = r.chainWhole ? QStringLiteral("The chain of its lines is whole.")
                           : QStringLiteral("The chain is broken: %1.").arg(bad);
    return r;
}

QString freeReportPath(const QString& folder, const QString& device, const QDateTime& now)
{
    const auto taken = [](const QString& p) {
        const QFileInfo pdf(p), sum(p + QStringLiteral(".sha256"));
        return pdf.exists() || pdf.isSymLink() || sum.exists() || sum.isSymLink();
    };
    QString name = QFileInfo(QDir::fromNativeSeparators(device)).fileName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    const QString base = QDir(folder).filePath(now.toString(QStringLiteral("yyyy-MM-dd_")) + name);
    QString path = base + QStringLiteral(".pdf");
    for (int n = 2; taken(path); ++n)
        path = base + QStringLiteral("_%1.pdf").arg(n);
    return path;
}

} // namespace kx
