#include "cli/LineRun.h"

#include "cli/Commands.h"
#include "settings/IndicatorBackup.h"

#include <QDateTime>
#include <QDir>

namespace kx::cli {

LineRun::LineRun(const CliContext& context, Steps steps)
    : context_(context), steps_(std::move(steps))
{
}

void LineRun::start()
{
    session_ = std::make_unique<CliSession>(context_.programFolder, context_.line, context_.quiet);
    session_->setName(name_);
    transfer_ = std::make_unique<TransferRun>(*session_, context_.quiet);
    session_->openThen([this](bool connected) {
        if (!connected) {
            session_->say(session_->lastError());
            finish(PortError);
            return;
        }
        opened();
    });
}

void LineRun::opened()
{
    if (steps_)
        steps_(*this);
}

void backUp(LineRun& line, std::function<void(int status)> then)
{
    const CliContext& c = line.context();
    // Port.Ini's "Backup Before Write=0" turns it off as --no-backup does; either way the
    // download that follows must not take one of its own.
    if (c.options.isSet(QStringLiteral("no-backup")) || !line.session().port().BackupBeforeWrite) {
        line.session().port().BackupBeforeWrite = false;
        return then(Success);
    }
    line.transfer().run(TransferDirection::Upload, [&line, &c, then](int status) {
        if (status != Success) {
            line.session().say(QStringLiteral("The indicator's setup could not be read for a "
                                              "backup; nothing was sent (--no-backup sends "
                                              "without one)."));
            return then(status);
        }
        CliSession& session = line.session();
        QString dir = c.options.value(QStringLiteral("backup-dir"));
        if (dir.isEmpty())
            dir = QDir(c.programFolder).filePath(QStringLiteral("SAVED/BACKUP"));
        QString why;
        // One indicator or many, each backup names its line: two processes writing two
        // indicators in the same second keep two files that say which is which.
        const QString tag = !line.fileTag().isEmpty() ? line.fileTag()
                            : !c.line.device.isEmpty()
                                ? backupTagOf(0, c.line.device)
                                : backupTagOf(session.panel().writeLine().port);
        const auto backup = saveIndicatorBackup(dir, session.panel().uploadLines(),
                                                QDateTime::currentDateTime(), tag, &why);
        if (!backup) {
            session.say(why);
            session.say(QStringLiteral("The backup could not be saved; nothing was sent."));
            return then(Refused);
        }
        if (!c.quiet)
            session.say(QStringLiteral("Backup of the indicator's setup: %1").arg(*backup));
        session.panel().setSetupBeforeWrite(session.panel().uploadLines(), *backup);
        // Taken already: what follows need not read the setup a second time.
        session.port().BackupBeforeWrite = false;
        then(Success);
    });
}

} // namespace kx::cli
