#include "cli/ManyLines.h"

#include "cli/Terminal.h"
#include "link/DevicePath.h"
#include "link/PortSettings.h"
#include "settings/IndicatorBackup.h"

#include <QFileInfo>

namespace kx::cli {
namespace {

// Which indicator a line reaches, whatever it was called: two names for one device (a port
// and its mapping, a link and its target) are the same indicator.
QString identityOf(const QString& device)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

} // namespace

std::optional<QList<NamedLine>> manyLines(const QCommandLineParser& options,
                                          const QString& programFolder, const LineChoice& line,
                                          QString& usage)
{
    const QStringList ports = options.values(QStringLiteral("port"));
    const QStringList devices = options.values(QStringLiteral("device"));
    if (ports.size() <= 1 && devices.size() <= 1)
        return std::nullopt;
    // --baud and --parity are a device's; a port takes its own from Port.Ini. A list of both
    // would leave unclear which settings a line has.
    if (!ports.isEmpty() && !devices.isEmpty()) {
        usage = QStringLiteral("name the indicators either by --port N or by --device PATH, "
                               "repeated, not both");
        return std::nullopt;
    }
    if (options.isSet(QStringLiteral("log"))) {
        usage = QStringLiteral("--log keeps one line's bytes: use it with one indicator");
        return std::nullopt;
    }
    if (options.isSet(QStringLiteral("dry-run"))) {
        usage = QStringLiteral("--dry-run reads one indicator: give one --port or --device");
        return std::nullopt;
    }
    QList<NamedLine> lines;
    QStringList identities;
    const PortSettings settings(programFolder);
    for (const QString& port : ports) {
        NamedLine n{QStringLiteral("port %1").arg(port.toInt()), backupTagOf(port.toInt()), line};
        n.line.device.clear();
        n.line.port = port.toInt();
        lines << n;
        const QString device = settings.devicePathFor(n.line.port);
        identities << (device.isEmpty() ? n.name : identityOf(device));
    }
    for (const QString& device : devices) {
        const QString path = resolveDevicePath(device);
        if (device.trimmed().isEmpty()) {
            usage = QStringLiteral("--device \"%1\": not a serial port").arg(terminalText(device));
            return std::nullopt;
        }
        NamedLine n{device, backupTagOf(0, path), line};
        n.line.port = 0;
        n.line.device = path;
        lines << n;
        identities << identityOf(path);
    }
    // Two devices of one name in different folders: their backups still differ, also from a
    // third device whose own name is the one made up for them.
    QStringList tags;
    for (qsizetype j = 0; j < lines.size(); ++j) {
        const QString own = lines[j].fileTag;
        for (int n = 2; tags.contains(lines[j].fileTag); ++n)
            lines[j].fileTag = QStringLiteral("%1-%2").arg(own).arg(n);
        tags << lines[j].fileTag;
    }
    for (qsizetype i = 0; i < lines.size(); ++i)
        for (qsizetype j = i + 1; j < lines.size(); ++j) {
            if (identities[i] == identities[j]) {
                usage = QStringLiteral("%1 and %2 are the same indicator (%3): name each once")
                            .arg(terminalText(lines[i].name), terminalText(lines[j].name),
                                 terminalText(identities[i]));
                return std::nullopt;
            }
        }
    return lines;
}

} // namespace kx::cli
