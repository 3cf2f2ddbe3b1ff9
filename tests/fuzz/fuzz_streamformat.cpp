// Any bytes as a stored stream format: the parse fills exactly the grid's rows, every filled row
// is a known token or a bracketed text, and building the stream again and parsing that gives the
// same grid (the built stream is a fixed point).
#include "FuzzCheck.h"
#include "settings/StreamFormat.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray source(reinterpret_cast<const char*>(data), qsizetype(size));
    const OutputRows rows = parseStreamFormat(source);
    FUZZ_CHECK(rows.size() == OutputGridRows);
    for (const OutputRow& row : rows) {
        if (row.type.isEmpty()) {
            FUZZ_CHECK(row.value.isEmpty());
        } else if (row.type == TextType) {
            FUZZ_CHECK(row.value.startsWith('[') && row.value.endsWith(']'));
            FUZZ_CHECK(row.value.size() <= StreamTextCap + 2);
        } else {
            FUZZ_CHECK(row.value.size() == 3 && streamTokenType(row.value.at(1)) == row.type);
        }
    }
    const BuiltStream built = rebuildStreamFormat(rows, size % 2 == 1);
    const BuiltStream again = rebuildStreamFormat(parseStreamFormat(built.stream), false);
    FUZZ_CHECK(again.stream == built.stream);
    return 0;
}
