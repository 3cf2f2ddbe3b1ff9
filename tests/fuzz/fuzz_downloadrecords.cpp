// Any bytes as a settings file to download: the build either names what it could not send or
// gives records the indicator's own layout accepts, and an upload of those records reads back.
#include "FuzzCheck.h"
#include "RecordLayout.h"
#include "transfer/DownloadRecords.h"
#include "transfer/UploadRecords.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    DownloadSource source;
    source.secondOutput = data[0] & 1;
    source.fieldBus = data[0] & 2;
    if (data[0] & 4)
        source.tickedUnits = {"lb Units", "oz Units"};
    source.now = QDateTime(QDate(2026, 12, 10), QTime(8, 30, 5));
    source.fileText = QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    const DownloadBuild build = buildDownloadRecords(source);
    if (!build.ok()) {
        FUZZ_CHECK(build.failures.size() == 2);
        return 0;
    }
    // Only text the settings file holds can be wrong in shape (a custom name the indicator's
    // fields cannot hold): the fixed-width fields, the order and the framing never are.
    QList<QByteArray> records;
    const auto verdict = sim::layout::checkDownload(build.records, source.secondOutput ? 2 : 1,
                                                    &records);
    if (!verdict.ok)
        FUZZ_CHECK(!verdict.reason.contains("digit") && !verdict.reason.contains("order"));

    // The indicator's own answer reads back, except a ticket with no field shown: the upload
    // takes an empty ticket list for a broken record.
    UploadContext context;
    const UploadParse back = parseUpload(build.records, context);
    if (verdict.ok && !build.records.contains("\r\n[TKT],\r\n"))
        FUZZ_CHECK(back.outcome == UploadParse::Outcome::Complete);
    return 0;
}
