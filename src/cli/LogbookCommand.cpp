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

// The chain, then (given a head) whether the line a head was taken from is still there. The
// head and line count go to standard output for a script to keep.
int checkLogbook(const CliContext& c, const QString& path, const QByteArray& bytes,
                 const QByteArray& head)
{
    const QString shown = QDir::toNativeSeparators(path);
    const logbook::Head now = logbook::headOf(bytes);
    row({QStringLiteral("head"), QString::fromLatin1(now.sha256)});
    row({QStringLiteral("lines"), QString::number(now.lines)});
    std::fflush(stdout);
    QString why;
    if (logbook::firstBadLine(bytes, &why) > 0) {
        say(stderr, QStringLiteral("%1: %2").arg(shown, why));
        return Refused;
    }
    if (!head.isEmpty()) {
        const int at = logbook::lineWithHead(bytes, head);
        if (at == 0) {
            say(stderr, QStringLiteral("%1: no line has the head %2: the logbook was changed "
                                       "or rewritten after it was written down")
                            .arg(shown, QString::fromLatin1(head.toLower())));
            return Refused;
        }
        if (!c.quiet)
            say(stderr, QStringLiteral("%1: the head is line %2 of %3, the chain is whole")
                            .arg(shown)
                            .arg(at)
                            .arg(now.lines));
        return Success;
    }
    if (!c.quiet)
        say(stderr, QStringLiteral("%1: %2 lines, the chain is whole").arg(shown).arg(now.lines));
    return Success;
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
                                "that does not fit. Prints the head (the SHA-256 of the last "
                                "line) and the line count.")});
    p.addOption({QStringLiteral("head"),
                 QStringLiteral("With --check: exit 1 also when no line of the logbook has the "
                                "SHA-256 HASH (a head written down earlier, as a report prints "
                                "it)."),
                 QStringLiteral("HASH")});
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
    const bool check = c.options.isSet(QStringLiteral("check"));
    const QByteArray head = c.options.value(QStringLiteral("head")).toLatin1();
    if (c.options.isSet(QStringLiteral("head")) && (!check || !logbook::isHead(head))) {
        say(stderr, QStringLiteral("kxlink-cli logbook: --head goes with --check and takes a "
                                   "SHA-256, 64 hex digits"));
        return Usage;
    }
    if (!QFileInfo::exists(path)) {
        if (!head.isEmpty()) {
            // A head was written down, so there was a logbook: its loss is what is checked.
            say(stderr, QStringLiteral("%1: no logbook, so not the line with the head %2")
                            .arg(QDir::toNativeSeparators(path), QString::fromLatin1(head)));
            return Refused;
        }
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
    if (check)
        return checkLogbook(c, path, *bytes, head);
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
