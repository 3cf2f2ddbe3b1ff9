// kxlink-cli download FILE --port 1 --port 2 ...: one checked file to several indicators, each
// on its own line at the same time, on the one event loop.
#include "cli/DownloadSteps.h"
#include "cli/Say.h"
#include "cli/Terminal.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace kx::cli {
namespace {

// What a line ended with, for the closing table.
struct LineEnd
{
    QString backup;
    QString outcome;
    QString verified = QStringLiteral("-");
};

class ManyDownloadRun : public CommandRun
{
public:
    ManyDownloadRun(const CliContext& c, CheckedDownload file, const QList<NamedLine>& lines)
        : c_(c), file_(std::move(file))
    {
        for (const NamedLine& named : lines)
            lines_.push_back(std::make_unique<Indicator>(named, c));
    }

    void start() override
    {
        // Held for the whole run: a signal asks every line to stop, and the table is still
        // printed, instead of the command ending wherever a line happened to be.
        stop_.emplace([] {});
        clock_.start();
        for (const auto& one : lines_) {
            Indicator* i = one.get();
            i->run = std::make_unique<LineRun>(i->context, [this](LineRun& line) {
                // A stop before this line's port opened: nothing is sent on it.
                if (stopRequested())
                    return line.finish(Refused);
                backUpAndSend(line, file_, [&line](int sent) { line.finish(sent); });
            });
            i->run->setName(i->named.name, i->named.fileTag);
            i->run->reportTo([this, i](int status) { ended(*i, status); });
            i->run->start();
        }
    }

private:
    struct Indicator
    {
        Indicator(const NamedLine& named, const CliContext& c)
            : named(named), context{c.options, c.programFolder, named.line, c.quiet}
        {
        }
        NamedLine named;
        CliContext context;
        std::unique_ptr<LineRun> run;
        std::optional<int> status;
        double seconds = 0;
        LineEnd end;
    };

    void ended(Indicator& i, int status)
    {
        const auto& result = i.run->session().transferResult();
        if (status == Success && result && !result->notLogged.isEmpty())
            status = LogNotKept;
        // A line whose backup was not taken sent nothing: it ranks with the others that left
        // their indicator as it was, however the backup's read ended.
        if (result && result->direction == TransferDirection::Upload)
            status = exitStatusFor(Outcome::BackupFailed);
        i.status = status;
        i.seconds = clock_.elapsed() / 1000.0;
        i.end = describe(*i.run, status);
        if (!c_.quiet)
            i.run->session().say(
                QStringLiteral("%1 after %2 s").arg(i.end.outcome).arg(i.seconds, 0, 'f', 1));
        for (const auto& one : lines_)
            if (!one->status)
                return;
        report();
    }

    LineEnd describe(LineRun& line, int status) const
    {
        LineEnd e;
        const bool backupAsked = !c_.options.isSet(QStringLiteral("no-backup"));
        e.backup = backupAsked ? QStringLiteral("not taken") : QStringLiteral("none");
        const auto& result = line.session().transferResult();
        if (!result) {
            e.outcome = status == PortError ? QStringLiteral("port error")
                        : stopRequested()   ? QStringLiteral("cancelled")
                                            : QStringLiteral("no result");
            return e;
        }
        if (result->direction == TransferDirection::Upload) {
            // The backup's read is the last thing that ran: nothing was sent, however the
            // read ended (the line says how on standard error).
            e.outcome = result->outcome == Outcome::Cancelled
                            ? QString::fromLatin1(outcomeName(result->outcome))
                            : QStringLiteral("backup failed");
            return e;
        }
        if (!result->backupPath.isEmpty())
            e.backup = result->backupPath;
        e.outcome = QString::fromLatin1(outcomeName(result->outcome));
        if (!result->notLogged.isEmpty())
            e.outcome += QStringLiteral(", not in the logbook");
        e.verified = verifyWord(result->verify);
        return e;
    }

    void report()
    {
        stop_.reset();
        int worst = Success;
        const bool json = c_.options.isSet(QStringLiteral("json"));
        QJsonArray rows;
        // Columns a script can cut, as ports prints them: TAB between them, and no TAB or line
        // end inside one.
        const auto row = [](const QStringList& cells) {
            QStringList shown;
            for (const QString& cell : cells)
                shown << terminalText(cell);
            std::fprintf(stdout, "%s\n", qPrintable(shown.join(QLatin1Char('\t'))));
        };
        if (!json)
            row({QStringLiteral("indicator"), QStringLiteral("backup"), QStringLiteral("outcome"),
                 QStringLiteral("verified"), QStringLiteral("seconds")});
        for (const auto& one : lines_) {
            const Indicator& i = *one;
            worst = worseStatus(worst, *i.status);
            const QString seconds = QString::number(i.seconds, 'f', 1);
            if (!json) {
                row({i.named.name, i.end.backup, i.end.outcome, i.end.verified, seconds});
                continue;
            }
            QJsonObject o{{QStringLiteral("indicator"), i.named.name},
                          {QStringLiteral("backup"), i.end.backup},
                          {QStringLiteral("outcome"), i.end.outcome},
                          {QStringLiteral("verified"), i.end.verified},
                          {QStringLiteral("seconds"), std::round(i.seconds * 10) / 10},
                          {QStringLiteral("status"), *i.status}};
            if (i.named.line.port > 0)
                o.insert(QStringLiteral("port"), i.named.line.port);
            else
                o.insert(QStringLiteral("device"), i.named.line.device);
            rows.append(o);
        }
        if (json)
            out(QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact)));
        std::fflush(stdout);
        if (stopRequested())
            err(stopMessage(QStringLiteral("every line's download was cancelled")));
        // The lines close before the loop ends: each session says its last on its own turn.
        later([this, worst] { finish(worst); });
    }

    const CliContext& c_;
    CheckedDownload file_;
    std::vector<std::unique_ptr<Indicator>> lines_;
    std::optional<StopWatch> stop_;
    QElapsedTimer clock_;
};

} // namespace

Started runManyDownload(CliContext& c, const CheckedDownload& file, QList<NamedLine> lines)
{
    return std::make_unique<ManyDownloadRun>(c, file, lines);
}

} // namespace kx::cli
