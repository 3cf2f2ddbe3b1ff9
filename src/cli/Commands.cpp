#include "cli/Commands.h"

#include "cli/Options.h"
#include "cli/Signals.h"
#include "cli/Terminal.h"

#include "firmware/FirmwareUpdate.h"
#include "firmware/HexCheck.h"
#include "link/DevicePath.h"
#include "link/PortScan.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"
#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/SafeSave.h"
#include "settings/SettingCaptions.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsDiff.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsValueCheck.h"
#include "settings/UserFile.h"
#include "transfer/TransferInputs.h"
#include "trend/CsvRecorder.h"
#include "trend/WeightRecord.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <unistd.h>
#include <cstdio>

namespace kx::cli {
namespace {

void out(const QString& line)
{
    std::fprintf(stdout, "%s\n", qPrintable(terminalText(line)));
    std::fflush(stdout);
}

void err(const QString& text)
{
    // A message of several lines is printed as lines; what each line quotes stays escaped.
    for (const QString& line : text.split(QLatin1Char('\n')))
        std::fprintf(stderr, "%s\n", qPrintable(terminalText(line)));
}

// The one file a command works on; nothing, with a usage line, when it is not given.
std::optional<QString> theFile(const CliContext& c, const char* command, const char* what)
{
    const QStringList files = c.options.positionalArguments();
    if (files.size() == 1)
        return files[0];
    err(QStringLiteral("kxlink-cli %1: give the %2").arg(QLatin1String(command), QLatin1String(what)));
    return std::nullopt;
}

// What every command that talks to the indicator begins with: a session on the chosen line
// with its port open. Then the command's steps, whose exit status this returns; the port
// error's, with the reason printed, when the port cannot be opened.
int withOpenLine(const CliContext& c, const std::function<int(CliSession&)>& steps)
{
    CliSession session(c.programFolder, c.line, c.quiet);
    if (!session.open())
        return PortError;
    return steps(session);
}

// Runs one transfer in the editor's place until it ends (Ctrl-C cancels it, as the panel's
// Cancel does) and gives its exit status.
int runTransfer(CliSession& session, TransferDirection direction, bool quiet)
{
    const StopOnTurn onTurn;
    {
        const LentLine lent(session.panel());
        if (!lent) {
            err(QStringLiteral("The line is busy."));
            return PortError;
        }
        session.panel().startTransfer(direction);
        // Every wait of the transfer has its own end; this bound only guards against a fault.
        CliSession::waitFor([&] { return session.transferResult() || stopRequested(); }, 120000);
        // The send path may have met the signal first and cancelled the run itself.
        const bool stoppedRun = stopRequested()
                                && (!session.transferResult()
                                    || session.transferResult()->outcome == Outcome::Cancelled);
        if (stoppedRun || !session.transferResult()) {
            if (stopRequested()) {
                err(QStringLiteral("Action Cancelled"));
                err(stopMessage(direction == TransferDirection::Upload
                                    ? QStringLiteral("the upload was cancelled")
                                    : QStringLiteral("the download was cancelled")));
            }
            if (!session.transferResult())
                session.panel().cancelTransfer();
        }
    }
    const std::optional<TransferResult>& result = session.transferResult();
    if (!result) {
        err(QStringLiteral("The transfer did not end."));
        return TimedOut;
    }
    if (quiet && result->outcome != Outcome::Completed) {
        // Quiet hides the progress, never why the command failed.
        if (!result->detail.isEmpty())
            err(result->detail);
        for (const QString& difference : result->differences)
            err(difference);
        if (result->mayHoldNewSetup)
            err(QStringLiteral("The KX7400 may hold the new setup: read it back (upload) to see "
                               "what it holds before you rely on it."));
        if (!result->text.isEmpty())
            err(result->text);
    }
    return exitStatusFor(result->outcome);
}

// A comparison reads a file as the editor does, which is also what a download sends; a value
// a download would refuse is said, so "identical" is never taken for "sendable".
std::optional<SettingsRecord> readComparedFile(const QString& path, QString& why)
{
    const auto bytes = readSettingsText(path, &why);
    if (!bytes)
        return std::nullopt;
    for (const QString& problem : settingsValueProblems(*bytes))
        err(QStringLiteral("%1: %2 A download refuses it.")
                .arg(QDir::toNativeSeparators(path), problem));
    return readSettings(IniDocument::fromBytes(*bytes));
}

// Reads the indicator's setup; the lines of its settings file, or nothing with the exit status.
std::optional<QList<QByteArray>> uploadLines(CliContext& c, const SettingsRecord* editor,
                                            int& status, bool* secondOutput = nullptr)
{
    std::optional<QList<QByteArray>> lines;
    status = withOpenLine(c, [&](CliSession& session) -> int {
        if (secondOutput)
            *secondOutput = session.port().CustomOutputs == 2;
        if (editor)
            session.inputs = transferInputsOf(*editor, {});
        const int ran = runTransfer(session, TransferDirection::Upload, c.quiet);
        if (ran == Success)
            lines = session.panel().uploadLines();
        return ran;
    });
    return lines;
}


// Nothing goes to the indicator without a copy of what it held: its setup is read and saved
// as <backup dir>/<date>_<time>.dat first, unless --no-backup. Success, or why not.
int backUp(CliContext& c, CliSession& session)
{
    if (c.options.isSet(QStringLiteral("no-backup")))
        return Success;
    const int status = runTransfer(session, TransferDirection::Upload, c.quiet);
    if (status != Success) {
        err(QStringLiteral("The indicator's setup could not be read for a backup; nothing was "
                           "sent (--no-backup sends without one)."));
        return status;
    }
    QString dir = c.options.value(QStringLiteral("backup-dir"));
    if (dir.isEmpty())
        dir = QDir(c.programFolder).filePath(QStringLiteral("SAVED/BACKUP"));
    QString why;
    const auto backup = saveIndicatorBackup(dir, session.panel().uploadLines(),
                                            QDateTime::currentDateTime(), &why);
    if (!backup) {
        err(why);
        err(QStringLiteral("The backup could not be saved; nothing was sent."));
        return Refused;
    }
    if (!c.quiet)
        err(QStringLiteral("Backup of the indicator's setup: %1").arg(*backup));
    session.panel().setSetupBeforeWrite(session.panel().uploadLines(), *backup);
    // Taken already: what follows need not read the setup a second time.
    session.port().BackupBeforeWrite = false;
    return Success;
}

} // namespace

void addCommandOptions(const QString& command, QCommandLineParser& p)
{
    if (command == QLatin1String("publish"))
        addPublishOptions(p);
    if (command == QLatin1String("logbook"))
        addLogbookOptions(p);
    if (command == QLatin1String("gateway"))
        addGatewayOptions(p);
    if (command == QLatin1String("weigh") || command == QLatin1String("debug"))
        p.addOption({QStringLiteral("count"),
                     QStringLiteral("Stop after N lines (default: until Ctrl-C)."),
                     QStringLiteral("N"), QStringLiteral("0")});
    if (command == QLatin1String("ports"))
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("One JSON object a port: device, opens, state, description.")});
    if (command == QLatin1String("weigh")) {
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("One JSON object a frame: time, weight (a number, or null "
                                    "when the indicator shows none), text, units, net, settled.")});
        p.addOption({QStringLiteral("csv"),
                     QStringLiteral("Also record every frame as a CSV row into FILE (\"-\": "
                                    "standard output, instead of the lines)."),
                     QStringLiteral("FILE")});
        p.addOption({QStringLiteral("timeout"),
                     QStringLiteral("Give up when no frame comes for MS milliseconds (5000)."),
                     QStringLiteral("MS"), QStringLiteral("5000")});
    }
    if (command == QLatin1String("download") || command == QLatin1String("flash")) {
        p.addOption({QStringLiteral("no-backup"),
                     QStringLiteral("Send without first saving the indicator's setup.")});
        p.addOption({QStringLiteral("backup-dir"),
                     QStringLiteral("Where the setup read before the download is saved "
                                    "(default: SAVED/BACKUP in the program's folder)."),
                     QStringLiteral("DIR")});
    }
    if (command == QLatin1String("download"))
        p.addOption({QStringLiteral("no-verify"),
                     QStringLiteral("Do not read the setup back to compare it with what was "
                                    "sent (the result then says \"not verified\").")});
    if (command == QLatin1String("diff")) {
        p.addOption({QStringLiteral("indicator"),
                     QStringLiteral("Compare A.dat with the setup read from the indicator.")});
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("One JSON object a setting that differs: section, key, page, "
                                    "caption, first, second.")});
    }
}

bool lineChoiceFrom(const QCommandLineParser& p, LineChoice& line, QString& why)
{
    bool ok = true;
    if (p.isSet(QStringLiteral("port"))) {
        line.port = p.value(QStringLiteral("port")).toInt(&ok);
        if (!ok || line.port <= 0) {
            why = QStringLiteral("--port takes a port number from 1");
            return false;
        }
    }
    // Absolute before it is checked or written to the session's Port.Ini: the one opened is
    // the one shown.
    if (p.isSet(QStringLiteral("device")) && p.value(QStringLiteral("device")).trimmed().isEmpty()) {
        why = QStringLiteral("--device \"%1\": not a serial port").arg(p.value(QStringLiteral("device")));
        return false;
    }
    line.device = resolveDevicePath(p.value(QStringLiteral("device")));
    line.log = p.value(QStringLiteral("log"));
    if (p.isSet(QStringLiteral("outputs"))) {
        line.outputs = p.value(QStringLiteral("outputs")).toInt(&ok);
        if (!ok || (line.outputs != 1 && line.outputs != 2)) {
            why = QStringLiteral("--outputs takes 1 or 2");
            return false;
        }
    }
    line.baud = p.value(QStringLiteral("baud")).toInt(&ok);
    if (!ok || PortSettings::baudIndexOf(line.baud) < 0) {
        why = QStringLiteral("--baud takes %1").arg(PortSettings::baudListText());
        return false;
    }
    const QString parity = p.value(QStringLiteral("parity")).toLower();
    line.parity = parity == QLatin1String("even") ? 0 : parity == QLatin1String("none") ? 1
                  : parity == QLatin1String("odd") ? 2 : -1;
    if (line.parity < 0) {
        why = QStringLiteral("--parity takes even, none or odd");
        return false;
    }
    if (p.isSet(QStringLiteral("mode"))) {
        const QString mode = p.value(QStringLiteral("mode")).toLower();
        line.mode = mode == QLatin1String("continuous") ? 0 : mode == QLatin1String("demand") ? 1 : -2;
        if (line.mode < -1) {
            why = QStringLiteral("--mode takes continuous or demand");
            return false;
        }
    }
    return true;
}

int runPorts(CliContext& c)
{
    const bool json = c.options.isSet(QStringLiteral("json"));
    QList<FoundPort> ports;
    const PortSettings settings(c.programFolder);
    if (!c.line.device.isEmpty() || c.line.port > 0) {
        // Only the port asked about: a script checks its one device before using it.
        const QString path = c.line.device.isEmpty() ? settings.devicePathFor(c.line.port)
                                                     : resolveDevicePath(c.line.device);
        ports.append({path, c.line.device.isEmpty()
                                ? QStringLiteral("port %1 in Port.Ini").arg(c.line.port)
                                : QStringLiteral("given by --device")});
    } else {
        ports = scanSerialPorts();
        // Devices Port.Ini maps (a simulator's link, a port by a name of its own) count too.
        IniDocument ini;
        if (ini.load(settings.iniPath()))
            for (const QByteArray& key : ini.keys("Devices")) {
                const QString path =
                    resolveDevicePath(QString::fromLocal8Bit(ini.readString("Devices", key)));
                const bool listed = std::any_of(ports.begin(), ports.end(),
                                                [&](const FoundPort& f) { return f.path == path; });
                if (!path.isEmpty() && !listed)
                    ports.append({path, QStringLiteral("%1 (port %2 in Port.Ini)")
                                            .arg(path, QString::fromLatin1(key))});
            }
    }
    if (ports.isEmpty()) {
        err(QStringLiteral("No serial ports found."));
        return Success;
    }
    // Columns a script can cut: TAB between them, and no TAB or line end inside one.
    if (!json)
        std::fprintf(stdout, "device\tstate\tdescription\n");
    bool allOpen = true;
    for (const FoundPort& port : ports) {
        QtSerialDevice device;
        QString state = QStringLiteral("can be opened");
        bool opens = true;
        try {
            device.open(port.path, LineSettings{});
            device.close();
        } catch (const ChannelError& e) {
            state = e.reason();
            opens = false;
            allOpen = false;
        }
        if (json) {
            const QJsonObject o{{QStringLiteral("device"), port.path},
                                {QStringLiteral("opens"), opens},
                                {QStringLiteral("state"), state},
                                {QStringLiteral("description"), port.label}};
            std::fprintf(stdout, "%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        } else {
            std::fprintf(stdout, "%s\t%s\t%s\n", qPrintable(terminalText(port.path)),
                         qPrintable(terminalText(state)), qPrintable(terminalText(port.label)));
        }
    }
    std::fflush(stdout);
    // The one device asked about tells by the exit status whether it can be used.
    return ports.size() == 1 && (!c.line.device.isEmpty() || c.line.port > 0) && !allOpen
               ? PortError
               : Success;
}

int runWeigh(CliContext& c)
{
    const qint64 count = numericOption(c.options, QStringLiteral("count"), 0);
    const qint64 timeout = numericOption(c.options, QStringLiteral("timeout"), 5000);
    const bool json = c.options.isSet(QStringLiteral("json"));
    const QString csvPath = c.options.value(QStringLiteral("csv"));
    const bool csvOut = csvPath == QLatin1String("-");
    // Nonsense is refused before the port is opened.
    if (csvOut && json) {
        err(QStringLiteral("kxlink-cli weigh: --json and --csv - both want standard output"));
        return Usage;
    }
    // Refused as upload refuses its file, before the port is opened: a FIFO would hold the
    // open until a reader came, a device would never hold a recording.
    if (!csvPath.isEmpty() && !csvOut) {
        QString why = notARegularFile(csvPath);
        if (why.isEmpty() && !QFileInfo(csvPath).absoluteDir().exists())
            why = QStringLiteral("the folder does not exist");
        if (!why.isEmpty()) {
            err(QStringLiteral("No recording: %1: %2; nothing was read or written.").arg(csvPath, why));
            return Refused;
        }
    }
    return withOpenLine(c, [&](CliSession& session) -> int {
        CsvRecorder csv;
        QElapsedTimer running;
        running.start();
        if (!csvPath.isEmpty()) {
            QString why;
            if (!csv.open(csvPath, running.elapsed(), &why)) {
                err(QStringLiteral("No recording: %1").arg(why));
                return Refused;
            }
        }
        qint64 shown = 0;
        QDateTime last = QDateTime::currentDateTime();
        QObject::connect(&session.panel(), &LineSession::frameShown, [&](const DecodedFrame& f) {
            if (count > 0 && shown >= count)
                return;
            ++shown;
            last = QDateTime::currentDateTime();
            if (csv.isOpen())
                csv.record({last, f}, running.elapsed());
            if (csvOut)
                return;
            if (json) {
                out(QString::fromUtf8(jsonLine({last, f})));
            } else {
                const QString unit = unitsName(f.units);
                out(QStringLiteral("%1 %2%3%4").arg(lineText(f.weight.trimmed()), unit,
                                                    f.net ? QStringLiteral(" net") : QString(),
                                                    f.keepWeight ? QString() : QStringLiteral(" ~")));
            }
        });
        session.panel().FormActivate();
        bool timedOut = false;
        {
            const StopOnTurn onTurn;
            CliSession::waitFor(
                [&] {
                    timedOut = last.msecsTo(QDateTime::currentDateTime()) > timeout;
                    csv.flushIfDue(running.elapsed());
                    // A recording asked for is what the command is for: a full disk ends it.
                    return stopRequested() || timedOut || (count > 0 && shown >= count)
                           || !csv.failure().isEmpty();
                },
                INT_MAX);
        }
        // The last rows go out here; a failure now ends the command the same way.
        csv.close();
        if (!csv.failure().isEmpty()) {
            err(QStringLiteral("The recording stopped: %1; the file keeps %2 whole rows.")
                    .arg(csv.failure())
                    .arg(csv.rows()));
            return Refused;
        }
        // Weighing until stopped is its normal end.
        if (stopRequested()) {
            if (!c.quiet)
                err(stopMessage());
            return Success;
        }
        if (timedOut) {
            err(QStringLiteral("No frame from the KX7400 for %1 ms: time-out.").arg(timeout));
            return TimedOut;
        }
        return Success;
    });
}

int runUpload(CliContext& c)
{
    const auto file = theFile(c, "upload", "settings file to write");
    if (!file)
        return Usage;
    // Refused before the indicator is asked: the save would refuse it after the upload.
    if (const QString kind = notARegularFile(*file); !kind.isEmpty()) {
        err(QStringLiteral("%1: %2; nothing was read or written.").arg(*file, kind));
        return Refused;
    }
    // A folder that is not there, or not writable, would fail the save after the whole
    // exchange: it is said before the indicator is asked.
    const QFileInfo folder(QFileInfo(*file).absolutePath());
    if (!folder.isDir() || !folder.isWritable()) {
        err(QStringLiteral("%1: the folder %2 %3; nothing was read or written.")
                .arg(*file, QDir::toNativeSeparators(folder.filePath()),
                     folder.exists() ? (folder.isDir() ? QStringLiteral("cannot be written")
                                                       : QStringLiteral("is not a folder"))
                                     : QStringLiteral("does not exist")));
        return Refused;
    }
    int status = Success;
    const auto lines = uploadLines(c, nullptr, status);
    if (!lines)
        return status;
    QString why;
    // As the editor does: a file being replaced is kept with ".bak" added.
    if (!keepBackup(*file, *file + QStringLiteral(".bak"), &why)
        || !saveFile(*file, linesText(*lines), &why)) {
        err(why);
        return Refused;
    }
    if (!c.quiet)
        err(QStringLiteral("Saved %1").arg(*file));
    return Success;
}

int runDownload(CliContext& c)
{
    const auto file = theFile(c, "download", "settings file to send");
    if (!file)
        return Usage;
    // Read once and checked whole before the port opens: what passed is what is sent, even if
    // the file changes during the backup.
    SettingsFileCheck check = readCheckedSettings(*file);
    if (!check.checked) {
        err(check.refusal);
        return Refused;
    }
    check.checked->path = QFileInfo(*file).absoluteFilePath();
    const SettingsRecord record = readSettings(IniDocument::fromBytes(check.checked->text));
    return withOpenLine(c, [&](CliSession& session) -> int {
        if (const int status = backUp(c, session); status != Success)
            return status;
        // The file's own unit and network choices stand in for the editor's controls.
        session.inputs = transferInputsOf(record, *check.checked);
        session.inputs.secondOutput = session.port().CustomOutputs == 2;
        session.panel().setVerifyAfterWrite(!c.options.isSet(QStringLiteral("no-verify")));
        return runTransfer(session, TransferDirection::Download, c.quiet);
    });
}

int runDiff(CliContext& c)
{
    const QStringList files = c.options.positionalArguments();
    const bool indicator = c.options.isSet(QStringLiteral("indicator"));
    if (files.size() != (indicator ? 1 : 2)) {
        err(indicator ? QStringLiteral("kxlink-cli diff --indicator: give one settings file")
                      : QStringLiteral("kxlink-cli diff: give two settings files"));
        return Usage;
    }
    QString why;
    const auto first = readComparedFile(files[0], why);
    if (!first) {
        err(why);
        return Usage;
    }
    SettingsRecord second;
    DiffScope scope;
    if (indicator) {
        int status = Success;
        bool secondOutput = false;
        const auto lines = uploadLines(c, &*first, status, &secondOutput);
        if (!lines)
            return status;
        second = readSettings(IniDocument::fromBytes(linesText(*lines)));
        scope.carriedOnly = true;
        scope.secondOutput = secondOutput;
    } else {
        const auto b = readComparedFile(files[1], why);
        if (!b) {
            err(why);
            return Usage;
        }
        second = *b;
    }
    const QList<SettingDifference> differences = diffSettings(*first, second, scope);
    const bool json = c.options.isSet(QStringLiteral("json"));
    for (const SettingDifference& d : differences) {
        if (!json) {
            out(QStringLiteral("[%1] %2: %3 | %4").arg(d.section, d.key, d.first, d.second));
            continue;
        }
        // Named as the editor shows the setting, so a report reads like the pages.
        const SettingPlace place = settingPlace(d.section, d.key);
        const QJsonObject o{{QStringLiteral("section"), d.section},
                            {QStringLiteral("key"), d.key},
                            {QStringLiteral("page"), place.page},
                            {QStringLiteral("caption"), place.caption},
                            {QStringLiteral("first"), d.first},
                            {QStringLiteral("second"), d.second}};
        out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    }
    return differences.isEmpty() ? Success : Refused;
}

int runDebug(CliContext& c)
{
    return withOpenLine(c, [&](CliSession& session) -> int {
        const qint64 count = numericOption(c.options, QStringLiteral("count"), 0);
        qint64 shown = 0;
        const StopOnTurn onTurn;
        {
            const LentLine lent(session.panel());
            if (!lent) {
                err(QStringLiteral("The line is busy."));
                return PortError;
            }
            session.panel().DebugAnyBusClick();
            // Listening only now: the start empties the window's debug box, which on a
            // terminal would be an empty first line.
            session.onDebugLine = [&](const QString& line) {
                if (count > 0 && shown >= count)
                    return;
                ++shown;
                out(lineText(line));
            };
            CliSession::waitFor(
                [&] {
                    return stopRequested() || session.debugResult() || (count > 0 && shown >= count)
                           || session.panel().lineOwner() != LineOwner::DebugMonitor;
                },
                INT_MAX);
            session.panel().stopDebugMonitor();
        }
        if (stopRequested() && !c.quiet)
            err(stopMessage());
        return exitStatusFor(session.debugResult() ? session.debugResult()->outcome
                                                   : Outcome::Completed);
    });
}

} // namespace kx::cli

namespace kx::cli {
namespace {

// The update window's side, for a terminal: progress on standard error (a bar redrawn in
// place on a terminal, plain lines otherwise), refusals as messages.
class ConsoleUpdateView : public FirmwareUpdateView
{
public:
    ConsoleUpdateView(const QString& file, bool quiet) : file_(file), quiet_(quiet) {}
    FirmwareUpdate* update = nullptr;
    bool refused = false;

    QString askUpdateFile(const QString&) override { return file_; }
    void refuseUpdateFile(const QString& text) override
    {
        refused = true;
        err(QString(text).replace(QLatin1Char('\n'), QLatin1String(": ")));
    }
    void updatePanelChanged(bool) override
    {
        if (quiet_ || !update)
            return;
        const UpdatePanelState& p = update->panel();
        const QString line = p.detail.isEmpty() ? p.label : p.label + QLatin1String("  ") + p.detail;
        if (line == last_ || line.isEmpty())
            return;
        last_ = line;
        if (isatty(fileno(stderr))) {
            const int width = 30;
            const int done = p.barMax > 0 ? width * p.barPosition / p.barMax : 0;
            std::fprintf(stderr, "\r[%s%s] %s\033[K", QByteArray(done, '#').constData(),
                         QByteArray(width - done, '.').constData(), qPrintable(line));
            if (p.closeVisible)
                std::fprintf(stderr, "\n");
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(line));
        }
    }
    void setBusyCursor(bool) override {}

private:
    QString file_;
    QString last_;
    bool quiet_;
};

// The update file's check: its lines, or nothing with the reason told.
std::optional<HexCheckResult> checkHexFile(const QString& path)
{
    QString why;
    const auto bytes = readUserFile(path, HexFileLimit, &why);
    if (!bytes) {
        err(why);
        return std::nullopt;
    }
    HexCheckResult check = checkIntelHex(*bytes);
    if (!check.ok) {
        err(check.badLine > 0 ? QStringLiteral("%1: line %2: %3.").arg(path).arg(check.badLine).arg(check.problem)
                              : QStringLiteral("%1: %2.").arg(path, check.problem));
        return std::nullopt;
    }
    return check;
}

} // namespace

int runCheckHex(CliContext& c)
{
    const auto file = theFile(c, "check-hex", "update file");
    if (!file)
        return Usage;
    const auto check = checkHexFile(*file);
    if (!check)
        return Refused;
    out(QStringLiteral("%1: %2 lines, a good update file").arg(*file).arg(check->lines.size()));
    return Success;
}

int runFlash(CliContext& c)
{
    const auto file = theFile(c, "flash", "update file");
    if (!file)
        return Usage;
    // A bad file is refused before the port is even opened: no byte reaches the indicator.
    if (!checkHexFile(*file))
        return Refused;
    return withOpenLine(c, [&](CliSession& session) -> int {
        if (const int status = backUp(c, session); status != Success)
            return status;
        ConsoleUpdateView view(QFileInfo(*file).absoluteFilePath(), c.quiet);
        FirmwareUpdate update(QtClock::instance(), std::make_unique<QtSerialDevice>(),
                              session.panel().updateHost(), view, session.folder());
        view.update = &update;
        update.setStopCheck([] { return stopRequested(); });
        // The loader's port goes through the same protocol log as the main port.
        if (!c.line.log.isEmpty())
            update.ScalePort().setTap(session.panel().protocolTap());
        update.F3UpdateButtonClick();
        const auto ended = [&] {
            return update.phase() == UpdatePhase::Done || update.phase() == UpdatePhase::Failed ||
                   update.phase() == UpdatePhase::Idle;
        };
        {
            const StopOnTurn onTurn;
            CliSession::waitFor([&] { return ended() || stopRequested(); }, 30 * 60 * 1000);
        }
        const bool stillRunning = !ended();
        // Close stops a transfer still running (its outcome is then "cancelled") and gives the
        // line back to polling.
        update.CloseUpdateClick();
        const std::optional<UpdateEnd>& end = update.lastEnd();
        if (!end) {
            err(QStringLiteral("The update did not start."));
            return PortError;
        }
        if (stillRunning && !stopRequested()) {
            // Only a loader port without a reply timer can leave a run waiting this long.
            err(QStringLiteral("The update did not end: time-out."));
            return exitStatusFor(Outcome::NoAnswer);
        }
        if (end->outcome == Outcome::Cancelled)
            err(stopRequested() ? stopMessage(QStringLiteral("the update was stopped before its end"))
                                : QStringLiteral("Stopped."));
        else if (end->outcome != Outcome::Completed && end->outcome != Outcome::FileRejected &&
                 c.quiet)
            err(updateLabel(end->outcome) + QLatin1String("  ") + updateDetail(*end)); // the progress lines, when shown, carried it already
        if (end->outcome == Outcome::Cancelled && end->linesSent)
            err(QStringLiteral("The KX7400 may hold a partial firmware: run the update again "
                               "before using it."));
        if (stillRunning && end->outcome == Outcome::Completed)
            err(QStringLiteral("Stopped while the indicator reloads; the update itself went through."));
        return exitStatusFor(end->outcome);
    });
}

} // namespace kx::cli
