// kxlink-cli report: the service report of a visit to one indicator as a PDF, and the check of
// a report's logbook head against the logbook as it stands.
#include "cli/Commands.h"
#include "cli/DownloadSteps.h"
#include "cli/Say.h"

#include "link/PortSettings.h"
#include "report/ReportPdf.h"
#include "settings/IndicatorBackup.h"
#include "settings/Logbook.h"
#include "settings/ReportStamp.h"
#include "settings/SafeSave.h"
#include "settings/ServiceReport.h"
#include "settings/UserFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

namespace kx::cli {
namespace {

QByteArray sha256Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The logbook as it stands; empty when there is none yet, nothing (said) when unreadable.
std::optional<QByteArray> readLogbook(const QString& folder)
{
    const QString path = logbook::pathIn(folder);
    if (!QFileInfo::exists(path))
        return QByteArray();
    QString why;
    auto bytes = readUserFile(path, logbook::FileLimit, &why);
    if (!bytes)
        err(why);
    return bytes;
}

bool taken(const QString& pdf)
{
    const auto exists = [](const QString& p) {
        const QFileInfo info(p);
        return info.exists() || info.isSymLink();
    };
    return exists(pdf) || exists(pdf + QStringLiteral(".sha256"));
}

// -o FILE, or SAVED/REPORTS/<date>_<device>.pdf with a number added when the day's name is
// taken; empty (said) when the file named already exists.
QString reportPath(const CliContext& c, const QString& device, const QDateTime& now)
{
    if (c.options.isSet(QStringLiteral("output"))) {
        const QString file = c.options.value(QStringLiteral("output"));
        if (!taken(file))
            return file;
        err(QStringLiteral("%1 already exists; a report never replaces another, nothing was "
                           "read or written.")
                .arg(QDir::toNativeSeparators(file)));
        return {};
    }
    const QString folder = QDir(c.programFolder).filePath(QStringLiteral("SAVED/REPORTS"));
    QDir().mkpath(folder);
    return freeReportPath(folder, device, now);
}

// The PDF and its companion FILE.pdf.sha256 (as sha256sum -c reads it), both or neither.
int writeReport(const CliContext& c, const QString& path, const ServiceReport& report,
                QPageSize::PageSizeId paper)
{
    QString why;
    if (!saveReport(path, report, paper, &why)) {
        err(why);
        return Refused;
    }
    out(QDir::toNativeSeparators(path));
    if (!c.quiet)
        err(QStringLiteral("Report written; the logbook's head %1 (%2 lines) is in it.")
                .arg(QString::fromLatin1(report.head.sha256))
                .arg(report.head.lines));
    return Success;
}

int checkReport(const CliContext& c, const QString& file)
{
    QString why;
    const auto pdf = readUserFile(file, report::FileLimit, &why);
    if (!pdf) {
        err(why);
        return Refused;
    }
    const auto stamp = report::stampIn(*pdf, &why);
    if (!stamp) {
        err(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), why));
        return Refused;
    }
    // The companion sum, where it travelled with the report, says the report itself is as
    // written.
    const QString sumFile = file + QStringLiteral(".sha256");
    if (QFileInfo::exists(sumFile)) {
        const auto sum = readUserFile(sumFile, 4096, &why);
        if (!sum || sum->left(64) != sha256Hex(*pdf)) {
            err(QStringLiteral("%1: the report does not match its SHA-256 in %2")
                    .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(sumFile)));
            return Refused;
        }
    }
    const auto bytes = readLogbook(c.programFolder);
    if (!bytes)
        return Refused;
    const QString logPath = QDir::toNativeSeparators(logbook::pathIn(c.programFolder));
    if (logbook::firstBadLine(*bytes, &why) > 0) {
        err(QStringLiteral("%1: %2").arg(logPath, why));
        return Refused;
    }
    const int at = logbook::lineWithHead(*bytes, stamp->head);
    if (at == 0 || at != stamp->lines) {
        err(QStringLiteral("%1: the logbook no longer holds the head the report printed (%2, "
                           "line %3): it was changed or rewritten after the report.")
                .arg(logPath, QString::fromLatin1(stamp->head))
                .arg(stamp->lines));
        return Refused;
    }
    if (!c.quiet)
        err(QStringLiteral("%1: the logbook still holds the report's head, line %2 of %3.")
                .arg(QDir::toNativeSeparators(file))
                .arg(at)
                .arg(logbook::headOf(*bytes).lines));
    return Success;
}

QDateTime sinceOption(const QString& text)
{
    QDateTime since = QDateTime::fromString(text, Qt::ISODate);
    if (!since.isValid()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (day.isValid())
            since = day.startOfDay();
    }
    return since;
}

} // namespace

void addReportOptions(QCommandLineParser& p)
{
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Write the report to FILE.pdf (default: "
                                "SAVED/REPORTS/<date>_<device>.pdf); never over another file."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("since"),
                 QStringLiteral("The visit began at TIME (YYYY-MM-DD, or with a time; default: "
                                "the indicator's first logbook line today)."),
                 QStringLiteral("TIME")});
    p.addOption({QStringLiteral("technician"), QStringLiteral("Who serviced the indicator."),
                 QStringLiteral("NAME")});
    p.addOption(
        {QStringLiteral("site"), QStringLiteral("Where it stands."), QStringLiteral("TEXT")});
    p.addOption({QStringLiteral("note"), QStringLiteral("A remark for the report."),
                 QStringLiteral("TEXT")});
    p.addOption({QStringLiteral("read"),
                 QStringLiteral("Read the indicator's setup now for as left (and as found, "
                                "when nothing was sent during the visit).")});
    p.addOption({QStringLiteral("paper"), QStringLiteral("a4 or letter (default: the locale's)."),
                 QStringLiteral("SIZE")});
    p.addOption({QStringLiteral("check"),
                 QStringLiteral("Check FILE.pdf: exit 1 when the logbook no longer holds the "
                                "head the report printed.")});
}

Started runReport(CliContext& c)
{
    const QStringList files = c.options.positionalArguments();
    if (c.options.isSet(QStringLiteral("check"))) {
        if (files.size() != 1) {
            err(QStringLiteral("kxlink-cli report --check: give the report, FILE.pdf"));
            return Usage;
        }
        return checkReport(c, files[0]);
    }
    if (!files.isEmpty() || (c.line.port <= 0 && c.line.device.isEmpty())) {
        err(QStringLiteral("kxlink-cli report: give the indicator (--port N or --device PATH) "
                           "and the file with -o"));
        return Usage;
    }
    const auto paper = c.options.isSet(QStringLiteral("paper"))
                           ? paperNamed(c.options.value(QStringLiteral("paper")))
                           : std::optional(localePaper());
    if (!paper) {
        err(QStringLiteral("kxlink-cli report: --paper takes a4 or letter"));
        return Usage;
    }
    ReportInputs in;
    if (c.options.isSet(QStringLiteral("since"))) {
        in.since = sinceOption(c.options.value(QStringLiteral("since")));
        if (!in.since.isValid()) {
            err(QStringLiteral("kxlink-cli report: --since takes a date, YYYY-MM-DD, or a date "
                               "and time"));
            return Usage;
        }
    }
    const PortSettings ports(c.programFolder);
    in.port = c.line.device.isEmpty() ? c.line.port : 0;
    in.device = c.line.device.isEmpty() ? ports.devicePathFor(c.line.port) : c.line.device;
    in.site = c.options.value(QStringLiteral("site"));
    in.technician = c.options.value(QStringLiteral("technician"));
    in.note = c.options.value(QStringLiteral("note"));
    in.version = QCoreApplication::applicationVersion();
    in.machine = QSysInfo::machineHostName();
    in.scope.carriedOnly = true;
    in.scope.secondOutput = ports.CustomOutputs == 2;
    in.readFile = [](const QString& path, QString* why) {
        return readUserFile(path, SettingsFileLimit, why);
    };
    in.now = QDateTime::currentDateTime();
    const QString path = reportPath(c, in.device, in.now);
    if (path.isEmpty())
        return Refused;

    // Everything but the read at report time, which comes in on the line.
    const auto compose = [&c, path, paper = *paper](ReportInputs in) {
        const auto logbook = readLogbook(c.programFolder);
        if (!logbook)
            return int(Refused);
        in.logbook = *logbook;
        QString why;
        const auto report = composeReport(in, &why);
        if (!report) {
            err(why);
            return int(Refused);
        }
        return writeReport(c, path, *report, paper);
    };
    if (!c.options.isSet(QStringLiteral("read")))
        return compose(in);
    return std::make_unique<LineRun>(c, [in, compose](LineRun& line) {
        ReportInputs read = in;
        read.scope.secondOutput = line.session().port().CustomOutputs == 2;
        uploadLines(line, nullptr, [&line, read, compose](const QList<QByteArray>& lines) mutable {
            read.readNow = linesText(lines);
            read.now = QDateTime::currentDateTime();
            line.finish(compose(read));
        });
    });
}

} // namespace kx::cli
