// Any bytes as Port.Ini: the port settings load, map and save without harm, and a save keeps
// the keys the program does not own.
#include "FuzzCheck.h"
#include "link/PortSettings.h"
#include "settings/IniDocument.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    PortSettings port(dir.path());
    {
        QFile f(port.iniPath());
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(bytes) == bytes.size());
    }
    port.LoadPortSettings();
    const LineSettings line = port.lineSettings();
    FUZZ_CHECK(line.baud >= 2400 && line.baud <= 115200);
    (void)port.devicePathFor(port.portNumber());
    (void)port.mappedDevice(1);

    const IniDocument before = IniDocument::fromBytes(bytes);
    FUZZ_CHECK(port.SavePortSettings());
    IniDocument after;
    FUZZ_CHECK(after.load(port.iniPath()));
    // The device map and every section the program does not write survive untouched.
    for (const QByteArray& section : before.sections()) {
        if (section.compare("Scale Port", Qt::CaseInsensitive) == 0
            || section.compare("Advanced", Qt::CaseInsensitive) == 0)
            continue;
        for (const QByteArray& key : before.keys(section))
            FUZZ_CHECK(after.value(section, key) == before.value(section, key));
    }
    return 0;
}
