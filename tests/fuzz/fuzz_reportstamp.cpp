// Any bytes as a report read back: the search for the logbook head never crashes, gives a
// head only as 64 hex digits, and finds the stamp a report carries wherever it stands.
#include "FuzzCheck.h"
#include "settings/Logbook.h"
#include "settings/ReportStamp.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString why;
    const auto stamp = report::stampIn(bytes, &why);
    FUZZ_CHECK(stamp.has_value() == why.isEmpty());
    if (stamp) {
        FUZZ_CHECK(logbook::isHead(stamp->head) && stamp->head == stamp->head.toLower());
        FUZZ_CHECK(stamp->lines >= 0);
        return 0;
    }
    // Bytes without a stamp, then a report's metadata: the one stamp is found.
    if (bytes.contains("<kx:logbook"))
        return 0;
    const report::Stamp written{logbook::sha256Hex(bytes), int(size % 100000)};
    const auto read =
        report::stampIn(bytes + report::xmpFor(written, QString::fromUtf8(bytes.left(40))));
    FUZZ_CHECK(read && read->head == written.head && read->lines == written.lines);
    return 0;
}
