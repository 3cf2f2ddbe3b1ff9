// Any bytes as an upload from the indicator: the parse ends, and what it gives is a list of
// section headers and key lines that load as a settings file.
#include "FuzzCheck.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "transfer/UploadRecords.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    UploadContext context;
    context.lineCount = (data[0] & 1) ? 8 : 10;
    context.setpoint1 = "10";
    context.setpoint2 = "20";
    const QByteArray text(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const UploadParse p = parseUpload(text, context);
    for (const QByteArray& line : p.lines) {
        FUZZ_CHECK(!line.contains('\n'));
        FUZZ_CHECK((line.startsWith('[') && line.endsWith(']')) || line.contains('='));
    }
    if (p.outcome == UploadParse::Outcome::Complete) {
        const IniDocument doc = IniDocument::fromBytes(p.lines.join("\r\n") + "\r\n");
        (void)readSettings(doc);
        FUZZ_CHECK(doc.hasSection("Configuration") && doc.hasSection("Custom Output"));
    }
    return 0;
}
