#include "link/PortSettings.h"

#include "link/DevicePath.h"
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

namespace {

constexpr PortSettings::Choice<int> kBauds[] = {
    {"2400", 2400},   {"4800", 4800},   {"9600", 9600},    {"19200", 19200},
    {"38400", 38400}, {"57600", 57600}, {"115200", 115200}};
constexpr PortSettings::Choice<int> kDataBits[] = {{"8", 8}};
constexpr PortSettings::Choice<kx::Parity> kParities[] = {
    {"Even", kx::Parity::Even}, {"None", kx::Parity::None}, {"Odd", kx::Parity::Odd}};
constexpr PortSettings::Choice<int> kStopBits[] = {{"1", 1}, {"2", 2}};
constexpr PortSettings::Choice<int> kModes[] = {{"CONTINUOUS", 0}, {"DEMAND", 1}};

template <typename T> QStringList textsOf(std::span<const PortSettings::Choice<T>> choices)
{
    QStringList l;
    for (const auto& c : choices)
        l << QString::fromLatin1(c.text);
    return l;
}

} // namespace

std::span<const PortSettings::Choice<int>> PortSettings::baudChoices()
{
    return kBauds;
}
int PortSettings::baudIndexOf(int baud)
{
    for (std::size_t i = 0; i < std::size(kBauds); ++i)
        if (kBauds[i].value == baud)
            return int(i);
    return -1;
}

QString PortSettings::baudListText()
{
    QStringList texts = BaudRates();
    const QString last = texts.takeLast();
    return texts.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

std::span<const PortSettings::Choice<int>> PortSettings::dataBitsChoices()
{
    return kDataBits;
}
std::span<const PortSettings::Choice<kx::Parity>> PortSettings::parityChoices()
{
    return kParities;
}
std::span<const PortSettings::Choice<int>> PortSettings::stopBitsChoices()
{
    return kStopBits;
}
std::span<const PortSettings::Choice<int>> PortSettings::modeChoices()
{
    return kModes;
}

const QStringList& PortSettings::BaudRates()
{
    static const QStringList l = textsOf(baudChoices());
    return l;
}
const QStringList& PortSettings::DataBitsList()
{
    static const QStringList l = textsOf(dataBitsChoices());
    return l;
}
const QStringList& PortSettings::Parities()
{
    static const QStringList l = textsOf(parityChoices());
    return l;
}
const QStringList& PortSettings::StopBitsList()
{
    static const QStringList l = textsOf(stopBitsChoices());
    return l;
}
const QStringList& PortSettings::Modes()
{
    static const QStringList l = textsOf(modeChoices());
    return l;
}
const QStringList& PortSettings::AppVersions()
{
    static const QStringList l{"KX7400 Version 3.0", "KX7400 Version 2.0", "KX7400 Version 1.3"};
    return l;
}

std::span<const PortSettings::Field> PortSettings::fields()
{
    static const Field f[] = {
        {"Baud", &PortSettings::BaudRate, &PortSettings::BaudRates, DefaultBaudRate},
        {"Parity", &PortSettings::Parity, &PortSettings::Parities, DefaultParity},
        {"Data Bits", &PortSettings::DataBits, &PortSettings::DataBitsList, DefaultDataBits},
        {"Stop Bits", &PortSettings::StopBits, &PortSettings::StopBitsList, DefaultStopBits},
        {"Mode", &PortSettings::Mode, &PortSettings::Modes, DefaultMode},
    };
    return f;
}

PortSettings::PortSettings(QString folder) : folder_(std::move(folder)) {}

void PortSettings::holdInMemory(const QString& device)
{
    inMemory_ = true;
    heldDevice_ = device;
    loadFailure_.clear();
}

QString PortSettings::iniPath() const
{
    return QDir(folder_).filePath(QStringLiteral("Port.Ini"));
}

void PortSettings::LoadPortSettings()
{
    if (inMemory_)
        return;
    loadFailure_.clear();
    const QString path = iniPath();
    if (QFileInfo::exists(path)) {
        IniDocument ini;
        QString why;
        if (!ini.load(path, &why)) {
            loadFailure_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
            return;
        }
        ComNo = QString::fromLatin1(ini.readString(ScalePort, "Port", "0"));
        for (const Field& f : fields())
            this->*f.selection =
                indexWithin(ini.readInteger(ScalePort, f.key, f.defaultIndex), f.texts());
        AppVersion = DefaultAppVersion;
        CustomOutputs = ini.readInteger(Advanced, "Custom Outputs", DefaultCustomOutputs);
        BackupBeforeWrite = ini.readInteger(Advanced, "Backup Before Write", 1) != 0;
        VerifyAfterWrite = ini.readInteger(Advanced, "Verify After Write", 1) != 0;
        return;
    }
    ComNo = QStringLiteral("0");
    for (const Field& f : fields())
        this->*f.selection = f.defaultIndex;
    AppVersion = DefaultAppVersion;
    CustomOutputs = DefaultCustomOutputs;
    BackupBeforeWrite = false;
    VerifyAfterWrite = true;
    IniDocument ini;
    ini.writeString(ScalePort, "Port", "0");
    for (const Field& f : fields())
        ini.writeInteger(ScalePort, f.key, f.defaultIndex);
    ini.writeInteger(Advanced, "Version", DefaultAppVersion);
    ini.writeInteger(Advanced, "Custom Outputs", DefaultCustomOutputs);
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
    if (inMemory_)
        return true;
    const QString path = iniPath();
    IniDocument ini;
    if (!loadForUpdate(ini, path, error))
        return false;
    ini.writeInteger(ScalePort, "Port", portNumber());
    for (const Field& f : fields())
        if (this->*f.selection >= 0)
            ini.writeInteger(ScalePort, f.key, this->*f.selection);
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
        n = n * 10 + (c.unicode() - '0');
        if (n > MaxPortNumber)
            return 0; // no port has a number that long
    }
    return n;
}

LineSettings PortSettings::lineSettings() const
{
    // A selector showing nothing gives the default baud rate, no parity, one stop bit.
    const auto pick = [](auto choices, int index, auto fallback) {
        return index >= 0 && index < int(choices.size()) ? choices[index].value : fallback;
    };
    LineSettings s;
    s.baud = pick(baudChoices(), BaudRate, kBauds[DefaultBaudRate].value);
    s.parity = pick(parityChoices(), Parity, kx::Parity::None);
    s.dataBits = kDataBits[0].value; // the only width the indicator speaks
    s.stopBits = pick(stopBitsChoices(), StopBits, kStopBits[0].value);
    return s;
}

QString PortSettings::mappedDevice(int port) const
{
    if (inMemory_)
        return port == 1 ? heldDevice_ : QString();
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
    return mapped.isEmpty() ? defaultDevicePath(port) : resolveDevicePath(mapped);
}

bool PortSettings::setMappedDevice(int port, const QString& path, QString* error)
{
    if (port <= 0)
        return false;
    if (inMemory_) {
        if (port == 1)
            heldDevice_ = path;
        return port == 1;
    }
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
