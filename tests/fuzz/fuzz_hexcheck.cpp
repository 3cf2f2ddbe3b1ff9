// Any bytes as an update file: the check never crashes, and what it passes is exactly what a
// loader could take: records that fit its buffer, with the end-of-file record last.
#include "FuzzCheck.h"
#include "firmware/HexCheck.h"
#include "firmware/LoaderFraming.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const HexCheckResult r = checkIntelHex(bytes);
    if (!r.ok) {
        FUZZ_CHECK(r.lines.isEmpty());
        FUZZ_CHECK(!r.problem.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!r.lines.isEmpty());
    FUZZ_CHECK(r.lines.back().size() == 11 && r.lines.back().mid(7, 2) == "01");
    for (const QByteArray& line : r.lines) {
        FUZZ_CHECK(line.startsWith(':'));
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        const QByteArray message = loaderLineMessage(line);
        FUZZ_CHECK(message.size() <= LoaderTransmitBuffer);
        FUZZ_CHECK(static_cast<unsigned char>(message.back()) & 0x80);
        // The line is sent as the exact text it is.
        FUZZ_CHECK(bytes.contains(line));
    }
    return 0;
}
