// Any bytes as a settings file: loading never fails hard, and saving what was loaded twice
// gives the same file both times.
#include "FuzzCheck.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    IniDocument doc = IniDocument::fromBytes(bytes);
    const SettingsRecord record = readSettings(doc);
    writeSettings(doc, record);
    const QByteArray first = doc.toBytes();

    IniDocument reread = IniDocument::fromBytes(first);
    writeSettings(reread, readSettings(reread));
    const QByteArray second = reread.toBytes();
    writeSettings(reread, readSettings(reread));
    FUZZ_CHECK(reread.toBytes() == second);

    (void)readOutputDefinition(doc, "Custom Output");
    (void)readOutputDefinition(doc, "Custom Output 2");
    return 0;
}
