#include "cli/Options.h"

#include "link/PortSettings.h"

#include <QList>

namespace kx::cli {
namespace {

struct Range
{
    const char* name;
    qint64 min, max;
    const char* takes; // what the option takes, as the usage error says it
};

const Range kRanges[] = {
    {"count", 1, MaxCount, "a whole number from 1 to 2147483647"},
    {"timeout", MinTimeoutMs, MaxTimeoutMs,
     "a time-out in milliseconds, a whole number from 100 to 3600000"},
    {"port", 1, MaxPort, "a port number from 1 to 99999"},
    {"outputs", 1, 2, "1 or 2"},
};

// Given on the command line (defaults are not checked); isSet() would warn about a name the
// command does not define.
bool has(const QCommandLineParser& options, const QString& name)
{
    return options.optionNames().contains(name);
}

QString refusal(const QString& name, const QString& value, const QString& takes)
{
    return QStringLiteral("--%1 \"%2\": --%1 takes %3").arg(name, value, takes);
}

} // namespace

std::optional<qint64> strictWhole(const QString& text, qint64 min, qint64 max)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 v = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        v = v * 10 + (c.unicode() - '0');
    }
    if (v < min || v > max)
        return std::nullopt;
    return v;
}

bool checkNumericOptions(const QCommandLineParser& options, QString& why)
{
    for (const Range& r : kRanges) {
        const QString name = QLatin1String(r.name);
        if (!has(options, name))
            continue;
        for (const QString& value : options.values(name))
            if (!strictWhole(value, r.min, r.max)) {
                why = refusal(name, value, QLatin1String(r.takes));
                return false;
            }
    }
    if (has(options, QStringLiteral("baud"))) {
        for (const QString& value : options.values(QStringLiteral("baud"))) {
            const auto baud = strictWhole(value, 0, 1000000000);
            if (!baud || PortSettings::baudIndexOf(int(*baud)) < 0) {
                why = refusal(QStringLiteral("baud"), value, PortSettings::baudListText());
                return false;
            }
        }
    }
    return true;
}

qint64 numericOption(const QCommandLineParser& options, const QString& name, qint64 def)
{
    if (!has(options, name))
        return def;
    for (const Range& r : kRanges)
        if (name == QLatin1String(r.name))
            return strictWhole(options.value(name), r.min, r.max).value_or(def);
    return strictWhole(options.value(name), 0, 1000000000).value_or(def);
}

void addLineOptions(QCommandLineParser& p)
{
    p.addOption({QStringLiteral("port"),
                 QStringLiteral("Port number N, mapped to a device as the program does through "
                                "Port.Ini's [Devices] (default: the port Port.Ini selects)."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("device"),
                 QStringLiteral("Open this device instead of a port of Port.Ini."),
                 QStringLiteral("PATH")});
    p.addOption({QStringLiteral("baud"), QStringLiteral("Baud rate with --device (19200)."),
                 QStringLiteral("BAUD"), QStringLiteral("19200")});
    p.addOption({QStringLiteral("parity"),
                 QStringLiteral("Parity with --device: even (the default), none or odd."),
                 QStringLiteral("PARITY"), QStringLiteral("even")});
    p.addOption({QStringLiteral("mode"),
                 QStringLiteral("Poll mode: continuous or demand (default: as Port.Ini says)."),
                 QStringLiteral("MODE")});
    p.addOption({QStringLiteral("outputs"),
                 QStringLiteral("The indicator's custom outputs, 1 or 2 (default: as Port.Ini "
                                "says; 1 with --device)."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("log"),
                 QStringLiteral("Append every byte on the line to FILE, a line a burst."),
                 QStringLiteral("FILE")});
    p.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                 QStringLiteral("No progress on standard error.")});
    p.addOption({{QStringLiteral("v"), QStringLiteral("verbose")},
                 QStringLiteral("Also the engines' own log on standard error.")});
}

} // namespace kx::cli
