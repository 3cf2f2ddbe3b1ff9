#include "cli/Commands.h"

#include "cli/DownloadSteps.h"
#include "cli/LineRun.h"
#include "cli/Say.h"
#include "cli/Terminal.h"

#include "link/DevicePath.h"
#include "link/PortScan.h"
#include "link/SystemSerial.h"
#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/Logbook.h"
#include "settings/SafeSave.h"
#include "settings/SettingCaptions.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsDiff.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsValueCheck.h"
#include "settings/UserFile.h"
#include "transfer/TransferInputs.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace kx::cli {
namespace {

// What every command that talks to the indicator begins with: a session on the chosen line
// with its port open. Then the command's steps, which end the run with their exit status; the
// port error's, with the reason printed, when the port cannot be opened.
Started withOpenLine(const CliContext& c, LineRun::Steps steps)
{
    return std::make_unique<LineRun>(c, std::move(steps));
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

// Prints what differs, a line each (or a JSON object each): exit 0 same, 1 different.
int printDifferences(const SettingsRecord& first, const SettingsRecord& second,
                     const DiffScope& scope, bool json)
{
    const QList<SettingDifference> differences = diffSettings(first, second, scope);
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

} // namespace

void uploadLines(LineRun& line, const SettingsRecord* editor,
                 std::function<void(const QList<QByteArray>&)> then)
{
    if (editor)
        line.session().inputs = transferInputsOf(*editor, {});
    line.transfer().run(TransferDirection::Upload, [&line, then](int ran) {
        if (ran != Success)
            return line.finish(ran);
        then(line.session().panel().uploadLines());
    });
}

bool logbookTakesLines(const CliContext& c)
{
    const QString no = logbook::refusal(logbook::pathIn(c.programFolder));
    if (!no.isEmpty())
        err(QStringLiteral("%1. Nothing was sent.").arg(no));
    return no.isEmpty();
}

std::optional<QString> theFile(const CliContext& c, const char* command, const char* what)
{
    const QStringList files = c.options.positionalArguments();
    if (files.size() == 1)
        return files[0];
    err(QStringLiteral("kxlink-cli %1: give the %2").arg(QLatin1String(command), QLatin1String(what)));
    return std::nullopt;
}

void addCommandOptions(const QString& command, QCommandLineParser& p)
{
#ifdef KX_PLANT
    if (command == QLatin1String("publish"))
        addPublishOptions(p);
    if (command == QLatin1String("gateway"))
        addGatewayOptions(p);
#endif
    if (command == QLatin1String("logbook"))
        addLogbookOptions(p);
    if (command == QLatin1String("report"))
        addReportOptions(p);
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
    if (command == QLatin1String("download")) {
        p.addOption({QStringLiteral("no-verify"),
                     QStringLiteral("Do not read the setup back to compare it with what was "
                                    "sent (the result then says \"not verified\").")});
        p.addOption({QStringLiteral("dry-run"),
                     QStringLiteral("Read the indicator and print what the download would "
                                    "change, as diff --indicator does; send nothing. Exit 0 "
                                    "nothing would change, 1 something would.")});
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("With --dry-run: one JSON object a setting, as diff --json. "
                                    "With several indicators: the results as a JSON array.")});
    }
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

Started runPorts(CliContext& c)
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
        const std::unique_ptr<SerialDevice> device = makeSystemSerialDevice();
        QString state = QStringLiteral("can be opened");
        bool opens = true;
        try {
            device->open(port.path, LineSettings{});
            device->close();
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

Started runUpload(CliContext& c)
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
    return withOpenLine(c, [&c, file](LineRun& line) {
        uploadLines(line, nullptr, [&c, &line, file](const QList<QByteArray>& lines) {
            QString why;
            // As the editor does: a file being replaced is kept with ".bak" added.
            if (!keepBackup(*file, *file + QStringLiteral(".bak"), &why)
                || !saveFile(*file, linesText(lines), &why)) {
                err(why);
                return line.finish(Refused);
            }
            if (!c.quiet)
                err(QStringLiteral("Saved %1").arg(*file));
            line.finish(Success);
        });
    });
}

std::optional<CheckedDownload> checkedDownload(const QString& file)
{
    // Read once and checked whole before the port opens: what passed is what is sent, even if
    // the file changes during the backup.
    SettingsFileCheck check = readCheckedSettings(file);
    if (!check.checked) {
        err(check.refusal);
        return std::nullopt;
    }
    check.checked->path = QFileInfo(file).absoluteFilePath();
    const SettingsRecord record = readSettings(IniDocument::fromBytes(check.checked->text));
    return CheckedDownload{*check.checked, record};
}

void backUpAndSend(LineRun& line, const CheckedDownload& file, std::function<void(int status)> done)
{
    backUp(line, [&line, file, done](int status) {
        if (status != Success)
            return done(status);
        CliSession& session = line.session();
        // The file's own unit and network choices stand in for the editor's controls.
        session.inputs = transferInputsOf(file.record, file.checked);
        session.inputs.secondOutput = session.port().CustomOutputs == 2;
        session.panel().setVerifyAfterWrite(
            !line.context().options.isSet(QStringLiteral("no-verify")));
        line.transfer().run(TransferDirection::Download, done);
    });
}

Started runDownload(CliContext& c)
{
    const auto file = theFile(c, "download", "settings file to send");
    if (!file)
        return Usage;
    QString usage;
    const auto many = manyLines(c.options, c.programFolder, c.line, usage);
    const bool json = c.options.isSet(QStringLiteral("json"));
    const bool dryRun = c.options.isSet(QStringLiteral("dry-run"));
    if (usage.isEmpty() && json && !many && !dryRun)
        usage = QStringLiteral("--json goes with --dry-run or with several indicators");
    if (!usage.isEmpty()) {
        err(QStringLiteral("kxlink-cli download: %1").arg(usage));
        return Usage;
    }
    const auto checked = checkedDownload(*file);
    if (!checked)
        return Refused;
    if (!dryRun && !logbookTakesLines(c))
        return Refused;
    if (many)
        return runManyDownload(c, *checked, *many);
    if (dryRun)
        // What the download would change, read as diff --indicator reads it; nothing is
        // written, not even the backup, and so nothing goes into the logbook.
        return withOpenLine(c, [&c, record = checked->record, json](LineRun& line) {
            DiffScope scope;
            scope.carriedOnly = true;
            scope.secondOutput = line.session().port().CustomOutputs == 2;
            uploadLines(line, &record, [&c, &line, record, scope, json](const QList<QByteArray>& lines) {
                const SettingsRecord held = readSettings(IniDocument::fromBytes(linesText(lines)));
                const int status =
                    printDifferences(record, held, scope, json) == Success ? Success : WouldChange;
                if (!c.quiet)
                    err(status == Success ? QStringLiteral("Dry run: the download would change "
                                                           "nothing; nothing was sent.")
                                          : QStringLiteral("Dry run: the download would change "
                                                           "the settings above (file | "
                                                           "indicator); nothing was sent."));
                line.finish(status);
            });
        });
    return withOpenLine(c, [file = *checked](LineRun& line) {
        backUpAndSend(line, file, [&line](int sent) { line.finish(sent); });
    });
}

Started runDiff(CliContext& c)
{
    const QStringList files = c.options.positionalArguments();
    const bool indicator = c.options.isSet(QStringLiteral("indicator"));
    const bool json = c.options.isSet(QStringLiteral("json"));
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
    if (indicator)
        return withOpenLine(c, [first, json](LineRun& line) {
            DiffScope scope;
            scope.carriedOnly = true;
            scope.secondOutput = line.session().port().CustomOutputs == 2;
            uploadLines(line, &*first, [&line, first, scope, json](const QList<QByteArray>& lines) {
                line.finish(printDifferences(
                    *first, readSettings(IniDocument::fromBytes(linesText(lines))), scope, json));
            });
        });
    const auto second = readComparedFile(files[1], why);
    if (!second) {
        err(why);
        return Usage;
    }
    return printDifferences(*first, *second, {}, json);
}

} // namespace kx::cli
