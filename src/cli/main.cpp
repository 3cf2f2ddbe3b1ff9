// kxlink-cli: what the window does, without the window, for scripts and test rigs. The same
// engines and file formats as the program; results on standard output, progress and errors
// on standard error, and an exit status a script can act on.
#include "settings/ProgramFolder.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace kx::cli;

namespace {

struct CommandDesc
{
    const char* name;
    const char* arguments;
    const char* summary;
    Started (*run)(CliContext&);
};

const CommandDesc kCommands[] = {
    {"ports", "", "List the serial ports and whether each can be opened.", runPorts},
    {"weigh", "", "Print the live weight, a line (or with --json a JSON object) a frame.",
     runWeigh},
    {"upload", "FILE.dat", "Read the indicator's setup into a settings file.", runUpload},
    {"download", "FILE.dat", "Send a settings file to the indicator.", runDownload},
    {"diff", "A.dat [B.dat]",
     "Compare two settings files, or with --indicator a file with the indicator's setup; "
     "exit 0 same, 1 different.",
     runDiff},
    {"debug", "", "Print the indicator's field-bus debug line.", runDebug},
    {"flash", "FILE.hex", "Update the indicator's firmware through its bootstrap loader.",
     runFlash},
    {"check-hex", "FILE.hex", "Check an update file as Intel-HEX, as flash does first.",
     runCheckHex},
    {"logbook", "", "Show the logbook of every write to an indicator (--check: check its chain).",
     runLogbook},
    {"report", "[FILE.pdf]",
     "Write the service report of a visit to one indicator as a PDF (--check FILE.pdf: check "
     "its logbook head).",
     runReport},
#ifdef KX_PLANT
    {"publish", "", "Publish the live weight of one or more indicators to an MQTT broker.",
     runPublish},
    {"gateway", "",
     "Serve every indicator of a configuration file over Modbus TCP and MQTT, as a service.",
     runGateway},
#endif
};

#ifndef KX_PLANT
// The plant's commands, left out of a build for a technician's PC: named, so a script that
// asks for one learns why it is missing rather than that it never existed.
const char* const kPlantCommands[] = {"publish", "gateway"};
#endif

void usage(FILE* to)
{
    std::fprintf(to, "Usage: kxlink-cli COMMAND [options] [arguments]\n\nCommands:\n");
    for (const CommandDesc& c : kCommands)
        std::fprintf(to, "  %-9s %-14s %s\n", c.name, c.arguments, c.summary);
    std::fprintf(to,
                 "\nOptions of every command:\n"
                 "  --port N          port N of Port.Ini in the program's folder, mapped to a\n"
                 "                    device through its [Devices] section\n"
                 "  --device PATH     this device instead (--baud, --parity even|none|odd)\n"
                 "  --mode MODE       continuous or demand polling\n"
                 "  --log FILE        append every byte on the line to FILE\n"
                 "  -q, --quiet       no progress on standard error\n"
                 "  -v, --verbose     also the engines' own log\n"
                 "Command options: upload, download and diff --indicator read or write the\n"
                 "indicator's setup; download first saves the setup it replaces in\n"
                 "SAVED/BACKUP (--no-backup, --backup-dir DIR), and so does flash; download\n"
                 "then reads the setup back and compares it (--no-verify: not).\n"
                 "download --dry-run reads the indicator and prints what the download would\n"
                 "change, as diff --indicator (--json as diff --json); it sends nothing and\n"
                 "exits 0 nothing would change, 7 something would. download with --port N or\n"
                 "--device PATH repeated writes to every indicator at once, each with its own\n"
                 "backup, verify and logbook line, and prints a table (--json: an array); it\n"
                 "exits with the worst line's status, from least to most severe 0, 5, 1, 3, 4,\n"
                 "6. weigh takes\n"
                 "--json, --csv FILE, --count N and --timeout MS; debug takes --count N; ports\n"
                 "prints TAB-separated columns under a header (--json: one object a port).\n"
                 "weigh --json prints one object a frame: time (local, with its UTC offset),\n"
                 "weight (a number, or null when the indicator shows none), text, units, net and\n"
                 "settled. weigh --csv FILE (- for standard output) writes the same as CSV rows\n"
                 "under the header time,weight,text,units,net,settled.\n");
#ifdef KX_PLANT
    std::fprintf(to,
                 "publish takes --port N and --device PATH[=NAME] repeated, one indicator\n"
                 "each, and --broker URL, --topic PREFIX, --qos 0|1, --rate-limit HZ,\n"
                 "--only-changes, --heartbeat S, --user NAME, --password-file FILE,\n"
                 "--cafile FILE, --cert FILE, --key FILE and --allow-commands; it puts\n"
                 "weigh's JSON object on PREFIX/NAME/weight.\n"
                 "gateway takes --config FILE (/etc/kxlink/gateway.ini) and --check; the\n"
                 "file names the indicators, their Modbus unit IDs and the broker. SIGHUP\n"
                 "reads it again; a file that fails its checks is refused, the old one kept.\n");
#endif
    std::fprintf(
        to, "logbook prints every write to an indicator (LOGS/logbook.jsonl) as a table,\n"
            "or with --json as stored; --since DATE and --port N choose, --check checks\n"
            "the chain of its lines and prints its head; --check --head HASH also fails\n"
            "when no line has that SHA-256 any more.\n"
            "report writes a PDF of a visit to one indicator (-o FILE.pdf, --since TIME,\n"
            "--technician, --site, --note, --read, --paper a4|letter) and FILE.pdf.sha256;\n"
            "it never replaces a file. report --check FILE.pdf exits 1 when the logbook\n"
            "no longer holds the head the report printed.\n"
            "Numbers: --count 1 to 2147483647, --timeout 100 to 3600000 ms, --port 1 to\n"
            "99999, --outputs 1 or 2, --baud from the list; anything else is a usage error.\n");
    std::fprintf(to, "\n'kxlink-cli COMMAND --help' shows a command's options.\n"
                     "Exit status: 0 success, 1 the indicator refused, a file is bad or a signal\n"
                     "stopped the command, 2 usage, 3 port error, 4 time-out, 5 done but a record\n"
                     "was not kept: the protocol log (--log) or the write's logbook line, 6\n"
                     "written and acknowledged but read back\n"
                     "the indicator does not hold what was sent, 7 download --dry-run: the\n"
                     "download would change settings. -q hides progress, never why a\n"
                     "command failed.\n");
}

} // namespace

int main(int argc, char** argv)
{
    // Qt's own event dispatcher, not GLib's: a command joins no desktop's loop, and the
    // gateway's every poll over its lines and sockets costs a fifth less of a core this way.
    qputenv("QT_NO_GLIB", "1");
    // The report lays out and embeds fonts, which takes QtGui: on the offscreen platform, so
    // no display is needed. Every other command stays on QtCore's application.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "report") == 0) {
#ifndef Q_OS_WIN
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kxlink-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KX_VERSION));
    QStringList args = QCoreApplication::arguments();
    if (args.size() == 2 && args[1] == QLatin1String("--version")) {
        std::printf("kxlink-cli %s\n", KX_VERSION);
        return Success;
    }
    if (args.size() < 2 || args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")
        || args[1] == QLatin1String("help")) {
        usage(stdout);
        return args.size() < 2 ? Usage : Success;
    }
    const QString name = args[1];
    watchSignals(name.left(20));
    const CommandDesc* command = nullptr;
    for (const CommandDesc& c : kCommands)
        if (name == QLatin1String(c.name))
            command = &c;
#ifndef KX_PLANT
    for (const char* plant : kPlantCommands)
        if (name == QLatin1String(plant)) {
            std::fprintf(stderr, "kxlink-cli: %s is not in this build\n", plant);
            return Usage;
        }
#endif
    if (!command) {
        std::fprintf(stderr, "kxlink-cli: no command \"%s\"\n\n", qPrintable(name));
        usage(stderr);
        return Usage;
    }
    args.removeAt(1);

    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(command->summary));
    p.addHelpOption();
    addLineOptions(p);
    addCommandOptions(name, p);
    if (*command->arguments)
        p.addPositionalArgument(QStringLiteral("arguments"), QString(),
                                QString::fromLatin1(command->arguments));
    if (!p.parse(args)) {
        std::fprintf(stderr, "kxlink-cli %s: %s\n", qPrintable(name), qPrintable(p.errorText()));
        return Usage;
    }
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText().replace(QLatin1String("kxlink-cli"),
                                                   QLatin1String("kxlink-cli ") + name)),
                   stdout);
        return Success;
    }
    // The engines log what they drop or retry; a script wants only the command's own words.
    if (!p.isSet(QStringLiteral("verbose")))
        QLoggingCategory::setFilterRules(QStringLiteral("kx.*=false"));
    CliContext context{p, kx::runningProgramFolder(), {}, p.isSet(QStringLiteral("quiet"))};
    QString why;
    if (!checkNumericOptions(p, why) || !lineChoiceFrom(p, context.line, why)) {
        std::fprintf(stderr, "kxlink-cli %s: %s\n", qPrintable(name), qPrintable(why));
        return Usage;
    }
    Started started = command->run(context);
    int status = started.status;
    if (CommandRun* run = started.run.get()) {
        // The program's one event loop: the command starts on it and its end stops it.
        QTimer::singleShot(0, run, [run] { run->start(); });
        status = QCoreApplication::exec();
        // The line closes here, before the status is told.
        started.run.reset();
    }
    // A log asked for and not kept, or a write with no logbook line, is told at once; a script
    // learns it here too.
    const bool lost = CliSession::protocolLogLost() || CliSession::logbookLineLost();
    return status == Success && lost ? LogNotKept : status;
}
