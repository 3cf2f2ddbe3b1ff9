// kxlink-cli logbook: the record of every write to an indicator, as a table or JSON lines,
// and the check of its chain.
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "settings/Logbook.h"
#include "settings/UserFile.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace kx::cli {
namespace {

void say(FILE* to, const QString& line)
{
    std::fprintf(to, "%s\n", qPrintable(terminalText(line)));
}

// One row of the table: fields as the terminal may show them, apart by a TAB for cut -f.
void row(const QStringList& fields)
{
    QStringList shown;
    for (const QString& f : fields)
        shown << terminalText(f);
    std::fprintf(stdout, "%s\n", qPrintable(shown.join(QLatin1Char('\t'))));
}

} // namespace

void addLogbookOptions(QCommandLineParser& p)
{
    p.addOption({QStringLiteral("json"),
                 QStringLiteral("The entries as stored, one JSON object a line.")});
    p.addOption({QStringLiteral("since"),
                 QStringLiteral("Only entries from DATE on (YYYY-MM-DD, or with a time)."),
                 QStringLiteral("DATE")});
    p.addOption({QStringLiteral("check"),
                 QStringLiteral("Check the chain of the logbook; exit 1 naming the first line "
                                "that does not fit.")});
}

Started runLogbook(CliContext& c)
{
    const QString path = logbook::pathIn(c.programFolder);
    QDateTime since;
    if (c.options.isSet(QStringLiteral("since"))) {
        const QString text = c.options.value(QStringLiteral("since"));
        since = QDateTime::fromString(text, Qt::ISODate);
        if (!since.isValid()) {
            const QDate day = QDate::fromString(text, Qt::ISODate);
            if (day.isValid())
                since = day.startOfDay();
        }
        if (!since.isValid()) {
            say(stderr, QStringLiteral("kxlink-cli logbook: --since takes a date, YYYY-MM-DD, "
                                       "not \"%1\"").arg(text));
            return Usage;
        }
    }
    if (!QFileInfo::exists(path)) {
        say(stderr, QStringLiteral("No logbook yet: %1 (every write to an indicator adds a line)")
                        .arg(QDir::toNativeSeparators(path)));
        return Success;
    }
    QString why;
    const auto bytes = readUserFile(path, logbook::FileLimit, &why);
    if (!bytes) {
        say(stderr, why);
        return Refused;
    }
    if (c.options.isSet(QStringLiteral("check"))) {
        const int bad = logbook::firstBadLine(*bytes, &why);
        if (bad > 0) {
            say(stderr, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why));
            return Refused;
        }
        if (!c.quiet)
            say(stderr, QStringLiteral("%1: %2 lines, the chain is whole")
                            .arg(QDir::toNativeSeparators(path))
                            .arg(logbook::parse(*bytes).size()));
        return Success;
    }
    const bool json = c.options.isSet(QStringLiteral("json"));
    if (!json)
        row({"time", "port", "device", "action", "outcome", "verify", "file", "backup", "changes"});
    for (const logbook::Line& line : logbook::parse(*bytes)) {
        if (!line.entry)
            continue;
        const LogbookEntry& e = *line.entry;
        if (since.isValid() && e.time < since)
            continue;
        if (c.line.port > 0 && e.port != c.line.port)
            continue;
        if (json) {
            std::fprintf(stdout, "%s\n", line.text.constData());
            continue;
        }
        row({e.time.toString(Qt::ISODate), QString::number(e.port), e.device, e.action, e.outcome,
             e.verify, e.file, e.backup.isEmpty() ? QStringLiteral("-") : e.backup,
             e.changesKnown ? QString::number(e.changes.size()) : QStringLiteral("unknown")});
        for (const LogbookEntry::Change& change : e.changes)
            row({QString(), QStringLiteral("%1: %2 -> %3").arg(change.key, change.before, change.after)});
    }
    std::fflush(stdout);
    return Success;
}

} // namespace kx::cli
