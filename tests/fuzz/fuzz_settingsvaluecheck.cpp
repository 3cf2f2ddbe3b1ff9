// Any bytes as a settings file to download: the check never crashes, every problem names a
// line of the file, and whatever the check passes builds into records: nothing it lets
// through can break a record or fail its field.
#include "FuzzCheck.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsValueCheck.h"
#include "transfer/DownloadRecords.h"

#include <cstddef>
#include <cstdint>

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList problems = settingsValueProblems(bytes);
    for (const QString& p : problems)
        FUZZ_CHECK(p.startsWith(QLatin1String("line")));
    const SettingsFileCheck check = checkSettingsText(bytes, QStringLiteral("f.dat"));
    FUZZ_CHECK(check.checked.has_value() == check.refusal.isEmpty());
    if (!check.checked) {
        FUZZ_CHECK(check.refusal.endsWith(QLatin1String("Nothing was sent.")));
        return 0;
    }
    FUZZ_CHECK(problems.isEmpty() && settingsTextProblem(bytes).isEmpty());
    DownloadSource source;
    source.fileText = check.checked->text;
    source.secondOutput = true;
    source.now = QDateTime(QDate(2026, 12, 11), QTime(9, 0));
    FUZZ_CHECK(buildDownloadRecords(source).ok());
    return 0;
}
