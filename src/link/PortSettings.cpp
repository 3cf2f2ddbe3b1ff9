#include "link/PortSettings.h"

#include "link/SerialChannel.h"
#include "settings/IniDocument.h"

#include <QFileInfo>

namespace kx {
namespace {

const QByteArray ScalePort = "Scale Port";
const QByteArray Advanced = "Advanced";
const QByteArray Devices = "Devices";

int indexWithin(int stored, const QStringList& list)
{
    return stored >= 0 && stored < list.size() ? stored : -1;
}

} // namespace

const QStringList& PortSettings::BaudRates()
{
    static const QStringList l{"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    return l;
}
const QStringList& PortSettings::DataBitsList()
{
    static const QStringList l{"8"};
    return l;
}
const QStringList& PortSettings::Parities()
{
    static const QStringList l{"Even", "None", "Odd"};
    return l;
}
const QStringList& PortSettings::StopBitsList()
{
    static const QStringList l{"1", "2"};
    return l;
}
const QStringList& PortSettings::Modes()
{
    static const QStringList l{"CONTINUOUS", "DEMAND"};
    return l;
}
const QStringList& PortSettings::AppVersions()
{
    static const QStringList l{"KX7400 Version 3.0", "KX7400 Version 2.0", "KX7400 Version 1.3"};
    return l;
}

PortSettings::PortSettings(QString folder) : folder_(std::move(folder)) {}

QString PortSettings::iniPath() const
{
    return QDir(folder_).filePath(QStringLiteral("Port.Ini"));
}

void PortSettings::LoadPortSettings()
{
    const QString path = iniPath();
    if (QFileInfo::exists(path)) {
        IniDocument ini;
        if (!ini.load(path))
            return;
        ComNo = QString::fromLatin1(ini.readString(ScalePort, "Port", "0"));
        BaudRate = indexWithin(ini.readInteger(ScalePort, "Baud", 3), BaudRates());
        Parity = indexWithin(ini.readInteger(ScalePort, "Parity", 0), Parities());
        DataBits = indexWithin(ini.readInteger(ScalePort, "Data Bits", 0), DataBitsList());
        StopBits = indexWithin(ini.readInteger(ScalePort, "Stop Bits", 0), StopBitsList());
        Mode = indexWithin(ini.readInteger(ScalePort, "Mode", 0), Modes());
        AppVersion = 0;
        CustomOutputs = ini.readInteger(Advanced, "Custom Outputs", 1);
        return;
    }
    ComNo = QStringLiteral("0");
    BaudRate = 3;
    Parity = 0;
    DataBits = 0;
    StopBits = 0;
    Mode = 0;
    AppVersion = 0;
    CustomOutputs = 1;
    IniDocument ini;
    ini.writeString(ScalePort, "Port", "0");
    ini.writeInteger(ScalePort, "Baud", 3);
    ini.writeInteger(ScalePort, "Parity", 0);
    ini.writeInteger(ScalePort, "Data Bits", 0);
    ini.writeInteger(ScalePort, "Stop Bits", 0);
    ini.writeInteger(ScalePort, "Mode", 0);
    ini.writeInteger(Advanced, "Version", 0);
    ini.writeInteger(Advanced, "Custom Outputs", 1);
    // Without a file the defaults still hold for this run; the next start tries again.
    ini.save(path);
}

namespace {
// A file that exists but cannot be read is never replaced: its other keys would be lost.
bool loadForUpdate(IniDocument& ini, const QString& path, QString* error)
{
    QString why;
    if (!QFileInfo::exists(path) || ini.load(path, &why))
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
    return false;
}
} // namespace

bool PortSettings::SavePortSettings(QString* error)
{
    const QString path = iniPath();
    IniDocument ini;
    if (!loadForUpdate(ini, path, error))
        return false;
    ini.writeInteger(ScalePort, "Port", portNumber());
    const auto put = [&](const QByteArray& key, int index) {
        if (index >= 0)
            ini.writeInteger(ScalePort, key, index);
    };
    put("Baud", BaudRate);
    put("Parity", Parity);
    put("Data Bits", DataBits);
    put("Stop Bits", StopBits);
    put("Mode", Mode);
    if (AppVersion >= 0)
        ini.writeInteger(Advanced, "Version", AppVersion);
    return ini.save(path, error);
}

int PortSettings::portNumber() const
{
    int n = 0;
    for (QChar c : ComNo) {
        if (!c.isDigit() || c.unicode() > '9')
            break;
        if (n > 99999)
            break; // no port has a number that long; keep what fits
        n = n * 10 + (c.unicode() - '0');
    }
    return n;
}

LineSettings PortSettings::lineSettings() const
{
    static const int bauds[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    LineSettings s;
    s.baud = BaudRate >= 0 && BaudRate < 7 ? bauds[BaudRate] : 19200;
    s.parity = Parity == 0 ? kx::Parity::Even : Parity == 2 ? kx::Parity::Odd : kx::Parity::None;
    s.dataBits = 8;
    s.stopBits = StopBits == 1 ? 2 : 1;
    return s;
}

QString PortSettings::mappedDevice(int port) const
{
    IniDocument ini;
    if (port <= 0 || !ini.load(iniPath()))
        return {};
    return QString::fromLocal8Bit(ini.readString(Devices, QByteArray::number(port)));
}

QString PortSettings::devicePathFor(int port) const
{
    if (port <= 0)
        return {};
    const QString mapped = mappedDevice(port);
    return mapped.isEmpty() ? defaultDevicePath(port) : mapped;
}

bool PortSettings::setMappedDevice(int port, const QString& path, QString* error)
{
    if (port <= 0)
        return false;
    IniDocument ini;
    if (!loadForUpdate(ini, iniPath(), error))
        return false;
    if (path.isEmpty())
        ini.eraseKey(Devices, QByteArray::number(port));
    else
        ini.writeString(Devices, QByteArray::number(port), path.toLocal8Bit());
    return ini.save(iniPath(), error);
}

} // namespace kx
