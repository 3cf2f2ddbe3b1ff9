#include "SimOptions.h"

#include "SetupStore.h"

#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>

namespace kx::sim {

namespace {

[[noreturn]] void refuse(const QString& why)
{
    std::fprintf(stderr, "kx7400-sim: %s (see --help)\n", qPrintable(why));
    std::exit(2);
}

double number(const QCommandLineParser& p, const QString& name, double low, double high)
{
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || v < low || v > high)
        refuse(QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"")
                   .arg(name)
                   .arg(low)
                   .arg(high)
                   .arg(p.value(name)));
    return v;
}

qint64 whole(const QCommandLineParser& p, const QString& name, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 v = p.value(name).toLongLong(&ok);
    if (!ok || v < low || v > high)
        refuse(QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                   .arg(name)
                   .arg(low)
                   .arg(high)
                   .arg(p.value(name)));
    return v;
}

} // namespace

QString behaviourHelp()
{
    return QStringLiteral(
        "What the indicator does:\n"
        "  Frames: 17 characters then EOT: weight (7, right-aligned, decimals of the units:\n"
        "    LB and KG 2, OZ 1, G 0; \" OVERLD\" past capacity), \"_\" when stable (blank in\n"
        "    motion), units LB/KG/OZ/\"G \", a blank, GR or NT, four blanks.\n"
        "  Keys: \"U\" next units, \"Z\" zero, \"G\" gross/net, \"A\" tare the load, \"P\" ticket\n"
        "    (to the log), \"T\" value CR sets the tare, BEL is Enter, \"?\" is accepted.\n"
        "  ENQ: the debug line, ended by CR.\n"
        "  \"pcmode\": ACK and PC mode (no frames). Then \"u\": STX, the setup records each\n"
        "    ended by CR LF, EOT; \"d\": \"ready\", then STX, records, EOT get ACK when\n"
        "    every record has its tag in order and its fields in the layout's shape (nine\n"
        "    records, or eleven with --outputs 2), else NAK with the reason in the log. A\n"
        "    good download is the setup the next upload sends. PC mode ends with the\n"
        "    transfer or after --pc-timeout-ms without a byte.\n"
        "  Loader: STX \"BSL\" ETX DC gets ACK and enters the loader (no frames). Each line\n"
        "    (text, CR LF, check byte = XOR of the rest | 80h) gets ACK when its check byte\n"
        "    and its Intel-HEX record are right, else NAK; an empty line passes. EOT 84h\n"
        "    gets ACK, then silence for --reload-ms, then weighing again. The loader also\n"
        "    gives up after 10 s without a byte.\n");
}

QString scriptHelp()
{
    return QStringLiteral(
        "Script (standard input, one command per line; each answers one line on standard\n"
        "output: \"ok\", \"error: <why>\", or for \"state\" a line beginning \"state\"):\n"
        "  weight <value>        put a load on the scale that reads <value> gross, in the\n"
        "                        units on show; it swings and settles (stops random loads)\n"
        "  stable 1|0            1: settle at once; 0: keep swinging until \"stable 1\"\n"
        "  units LB|KG|OZ|G      show these units\n"
        "  auto 1|0              random loads on (every --load-every seconds) or off\n"
        "  mode continuous|demand\n"
        "  rate <hz>             continuous frame rate\n"
        "  silent <ms>           say nothing for <ms>; 0 talks again at once, -1 for good\n"
        "  noise 1|0, split 1|0, pace 1|0, delay <ms>, nak-every <n>   as the options\n"
        "  nak-next              answer the next message that gets ACK or NAK (pcmode, a\n"
        "                        download, a loader message) with NAK\n"
        "  abort-next            answer the next download's data with \"ready\", as an\n"
        "                        indicator does when its operator aborts the download\n"
        "  send <hex bytes>      write these bytes to the line now, e.g. \"send 72 65 61 64 79\";\n"
        "                        sent even while silent\n"
        "  outputs 1|2           back to the built-in setup with one or two custom outputs\n"
        "  reset                 leave PC mode or the loader at once\n"
        "  state                 one line: mode, weight, units, display, tare, frames sent\n"
        "  help                  this list\n"
        "  quit                  stop, as SIGINT or SIGTERM would\n"
        "End of standard input does not stop the simulator.\n");
}

SimOptions parseOptions(const QStringList& arguments)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Plays a KX7400 weighing indicator on a pseudo-terminal: weight frames, front-panel\n"
        "keys, the field-bus debug line, settings upload and download, and the bootstrap\n"
        "loader. The first line on standard output is the device to open as the port.\n"
        "Stop it with Ctrl-C, SIGTERM or the script command \"quit\"."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    p.addOption(help);
    p.addOptions({
        {QStringLiteral("link"),
         QStringLiteral("Make PATH a symbolic link to the device "
                        "(a stale link is replaced; removed on exit)."),
         QStringLiteral("PATH")},
        {QStringLiteral("mode"),
         QStringLiteral("continuous: frames unasked at --rate (default); demand: one frame "
                        "for each CR received."),
         QStringLiteral("MODE"), QStringLiteral("continuous")},
        {QStringLiteral("rate"), QStringLiteral("Frames per second in continuous mode (10)."),
         QStringLiteral("HZ"), QStringLiteral("10")},
        {QStringLiteral("outputs"),
         QStringLiteral("Custom outputs of the indicator: 1 (nine setup records) or 2 (eleven)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("reload-ms"),
         QStringLiteral("Silence after the loader's end message, while the indicator restarts "
                        "(5000)."),
         QStringLiteral("MS"), QStringLiteral("5000")},
        {QStringLiteral("pc-timeout-ms"),
         QStringLiteral("PC mode ends after this long without a byte from the program (3000)."),
         QStringLiteral("MS"), QStringLiteral("3000")},
        {QStringLiteral("weight"), QStringLiteral("Load on the scale at the start, in lb (0)."),
         QStringLiteral("LB"), QStringLiteral("0")},
        {QStringLiteral("load-every"),
         QStringLiteral("Put a random load on or off the scale about every SEC seconds; 0: never "
                        "(8)."),
         QStringLiteral("SEC"), QStringLiteral("8")},
        {QStringLiteral("drift"),
         QStringLiteral("Let the reading creep by RATE units (those on show) a minute, up or down "
                        "(0)."),
         QStringLiteral("RATE"), QStringLiteral("0")},
        {QStringLiteral("jitter"),
         QStringLiteral("Scatter every reading by up to N divisions either way (0)."),
         QStringLiteral("N"), QStringLiteral("0")},
        {QStringLiteral("seed"),
         QStringLiteral("Seed of the random loads, noise and split points (7400)."),
         QStringLiteral("N"), QStringLiteral("7400")},
        {QStringLiteral("noise"),
         QStringLiteral("Random bytes (never ACK or NAK) between frames.")},
        {QStringLiteral("split"),
         QStringLiteral("Write each frame in 2 to 4 pieces, 3 to 20 ms apart.")},
        {QStringLiteral("silent-after"), QStringLiteral("Fall silent for good after N frames."),
         QStringLiteral("N")},
        {QStringLiteral("silence"),
         QStringLiteral("Say nothing from START ms after the start for LENGTH ms; may be "
                        "repeated."),
         QStringLiteral("START:LENGTH")},
        {QStringLiteral("nak-every"),
         QStringLiteral("Answer every Nth loader line with NAK, good or not."),
         QStringLiteral("N")},
        {QStringLiteral("abort-downloads"),
         QStringLiteral("Answer every download's data with \"ready\" (the indicator's answer "
                        "to an aborted download) instead of ACK or NAK.")},
        {QStringLiteral("silent-on-download"),
         QStringLiteral("Fall silent for good when told d, instead of answering \"ready\" (an "
                        "indicator that hangs mid-download).")},
        {QStringLiteral("delay-ms"),
         QStringLiteral("Hold every reply (and each demand frame) this long before sending."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("store-ms"),
         QStringLiteral("Take this long to store a downloaded setup before answering its data "
                        "(0)."),
         QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("hold"),
         QStringLiteral("After each good download, field N (from 1, after the tag) of record TAG "
                        "holds VALUE, or without =VALUE keeps what it held: an indicator that "
                        "acknowledges a setting it clamps or ignores, e.g. \"[CAL],1=5000\". May be "
                        "repeated."),
         QStringLiteral("TAG,N[=VALUE]")},
        {QStringLiteral("pace"),
         QStringLiteral("Bytes take their wire time both ways, at the baud rate and framing the "
                        "program set on its end of the line.")},
        {QStringLiteral("log"),
         QStringLiteral("Append a log of every byte received and sent, with times, to FILE."),
         QStringLiteral("FILE")},
        {{QStringLiteral("v"), QStringLiteral("verbose")},
         QStringLiteral("Write the log to standard error as well.")},
    });
    if (!p.parse(arguments))
        refuse(p.errorText());
    if (p.isSet(help)) {
        const QString text =
            p.helpText() + QLatin1Char('\n') + behaviourHelp() + QLatin1Char('\n') + scriptHelp();
        std::fputs(qPrintable(text), stdout);
        std::exit(0);
    }
    if (!p.positionalArguments().isEmpty())
        refuse(QStringLiteral("unexpected argument \"%1\"").arg(p.positionalArguments().first()));

    SimOptions o;
    o.link = p.value(QStringLiteral("link"));
    const QString mode = p.value(QStringLiteral("mode"));
    if (mode == QLatin1String("demand"))
        o.indicator.frameMode = Indicator::FrameMode::Demand;
    else if (mode != QLatin1String("continuous"))
        refuse(QStringLiteral("--mode is continuous or demand, not \"%1\"").arg(mode));
    o.indicator.rateHz = number(p, QStringLiteral("rate"), 0.1, 1000);
    o.outputs = static_cast<int>(whole(p, QStringLiteral("outputs"), 1, 2));
    o.indicator.reload = milliseconds(whole(p, QStringLiteral("reload-ms"), 0, 3'600'000));
    o.indicator.pcTimeout = milliseconds(whole(p, QStringLiteral("pc-timeout-ms"), 100, 3'600'000));
    o.startWeight =
        number(p, QStringLiteral("weight"), -WeightModel::CapacityLb, 2 * WeightModel::CapacityLb);
    o.loadEverySec = number(p, QStringLiteral("load-every"), 0, 86400);
    o.driftPerMinute = number(p, QStringLiteral("drift"), -1000, 1000);
    o.jitterDivisions = number(p, QStringLiteral("jitter"), 0, 100);
    o.seed = static_cast<quint32>(whole(p, QStringLiteral("seed"), 0, 0xFFFFFFFFLL));
    o.noise = p.isSet(QStringLiteral("noise"));
    o.split = p.isSet(QStringLiteral("split"));
    o.pace = p.isSet(QStringLiteral("pace"));
    if (p.isSet(QStringLiteral("silent-after")))
        o.silentAfter =
            static_cast<int>(whole(p, QStringLiteral("silent-after"), 0, 1'000'000'000));
    for (const QString& w : p.values(QStringLiteral("silence"))) {
        const QStringList parts = w.split(QLatin1Char(':'));
        bool ok1 = false;
        bool ok2 = false;
        const qint64 start = parts.size() == 2 ? parts[0].toLongLong(&ok1) : 0;
        const qint64 length = parts.size() == 2 ? parts[1].toLongLong(&ok2) : 0;
        if (!ok1 || !ok2 || start < 0 || length < 0)
            refuse(QStringLiteral("--silence wants START:LENGTH in ms, not \"%1\"").arg(w));
        o.silence << Faults::Window{start, length};
    }
    o.abortDownloads = p.isSet(QStringLiteral("abort-downloads"));
    o.silentOnDownload = p.isSet(QStringLiteral("silent-on-download"));
    if (p.isSet(QStringLiteral("nak-every")))
        o.nakEvery = static_cast<int>(whole(p, QStringLiteral("nak-every"), 1, 1'000'000));
    o.delayMs = whole(p, QStringLiteral("delay-ms"), 0, 600'000);
    o.storeMs = whole(p, QStringLiteral("store-ms"), 0, 600'000);
    for (const QString& h : p.values(QStringLiteral("hold"))) {
        SetupStore probe(1);
        if (!probe.addHold(h.toLatin1()))
            refuse(QStringLiteral("--hold wants TAG,N or TAG,N=VALUE, e.g. \"[CAL],1=5000\", not "
                                  "\"%1\"").arg(h));
        o.holds << h.toLatin1();
    }
    o.logFile = p.value(QStringLiteral("log"));
    o.verbose = p.isSet(QStringLiteral("verbose"));
    return o;
}

} // namespace kx::sim
