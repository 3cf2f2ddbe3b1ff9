#include "link/PortScan.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace kx {
namespace {

QString describePort(const QSerialPortInfo& info)
{
    QStringList parts;
    for (const QString& s : {info.description(), info.manufacturer()})
        if (!s.isEmpty())
            parts << s;
    if (!info.serialNumber().isEmpty())
        parts << QStringLiteral("serial %1").arg(info.serialNumber());
    return parts.join(QStringLiteral(", "));
}

} // namespace

QList<FoundPort> scanSerialPorts()
{
    QList<FoundPort> found;
    QStringList seen;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        found.append({link.absoluteFilePath(),
                      QStringLiteral("%1 (%2)").arg(link.fileName(), link.symLinkTarget())});
        seen << QFileInfo(link.symLinkTarget()).canonicalFilePath();
    }
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (seen.contains(QFileInfo(info.systemLocation()).canonicalFilePath()))
            continue;
        const QString what = describePort(info);
        found.append({info.systemLocation(),
                      what.isEmpty() ? info.systemLocation()
                                     : QStringLiteral("%1 - %2").arg(info.systemLocation(), what)});
    }
    return found;
}

} // namespace kx
