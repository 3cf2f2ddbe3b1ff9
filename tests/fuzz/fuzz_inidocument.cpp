// Any bytes as an INI file: reading and writing back must be stable, and edits must land
// where a later read finds them.
#include "FuzzCheck.h"
#include "settings/IniDocument.h"

#include <cstddef>
#include <cstdint>

using kx::IniDocument;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    IniDocument doc = IniDocument::fromBytes(bytes);
    const QByteArray once = doc.toBytes();
    FUZZ_CHECK(IniDocument::fromBytes(once).toBytes() == once);

    // Every key read back as what the first read saw.
    const IniDocument again = IniDocument::fromBytes(once);
    for (const QByteArray& section : doc.sections()) {
        for (const QByteArray& key : doc.keys(section)) {
            FUZZ_CHECK(doc.value(section, key) == again.value(section, key));
            (void)doc.readInteger(section, key, 0);
        }
    }

    // A written value is read back as written (line breaks become blanks), before and after
    // a round trip through the file's bytes.
    const QByteArray section = doc.sections().value(0, "Configuration");
    const QByteArray value = bytes.left(64);
    doc.writeString(section, "Fuzz Key", value);
    QByteArray expected = value;
    expected.replace('\r', ' ').replace('\n', ' ');
    expected = expected.trimmed().left(IniDocument::MaxValueLength);
    FUZZ_CHECK(doc.value(section, "Fuzz Key") == expected);
    FUZZ_CHECK(IniDocument::fromBytes(doc.toBytes()).value(section, "Fuzz Key") == expected);
    doc.eraseSection(section);
    (void)doc.toBytes();
    return 0;
}
