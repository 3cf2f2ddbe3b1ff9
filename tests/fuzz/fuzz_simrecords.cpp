// Any bytes as a download reaching the simulated indicator: its record checker gives a
// verdict and never misbehaves, and what it accepts is exactly the records it hands on.
#include "FuzzCheck.h"
#include "RecordLayout.h"

#include <cstddef>
#include <cstdint>

using namespace kx::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int outputs = (data[0] & 1) ? 2 : 1;
    const QByteArray text(reinterpret_cast<const char*>(data) + 1,
                          static_cast<qsizetype>(size - 1));
    QList<QByteArray> records;
    const layout::Verdict v = layout::checkDownload(text, outputs, &records);
    FUZZ_CHECK(v.ok == v.reason.isEmpty());
    if (v.ok) {
        const QList<QByteArray> tags = layout::tagOrder(outputs);
        FUZZ_CHECK(records.size() == tags.size());
        QByteArray joined;
        for (int i = 0; i < records.size(); ++i) {
            FUZZ_CHECK(layout::checkRecord(records[i], tags[i]).ok);
            joined += records[i] + "\r\n";
        }
        FUZZ_CHECK(joined == text);
    }
    for (const QByteArray& tag : layout::tagOrder(outputs))
        (void)layout::checkRecord(text.left(4096), tag);
    return 0;
}
