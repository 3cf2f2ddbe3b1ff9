// Any bytes as a download's command line, one argument a line: either the single download,
// or a list of distinct indicators each on a port or a device with a backup name of its own,
// or a usage line that says why not.
#include "FuzzCheck.h"
#include "cli/ManyLines.h"
#include "cli/Options.h"

#include <QSet>
#include <cstddef>
#include <cstdint>

using namespace kx::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096)
        return 0;
    QStringList args{QStringLiteral("kxlink-cli")};
    // An argument is a C string: it never holds a NUL.
    for (const QByteArray& arg :
         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n'))
        if (!arg.contains('\0'))
            args << QString::fromUtf8(arg);
    QCommandLineParser options;
    addLineOptions(options);
    options.addOption({QStringLiteral("dry-run"), QStringLiteral("Send nothing.")});
    QString why;
    // As the program: the options are parsed and their numbers checked before any command.
    if (!options.parse(args) || !checkNumericOptions(options, why))
        return 0;
    LineChoice line;
    QString usage;
    const auto lines = manyLines(options, QStringLiteral("/nonexistent"), line, usage);
    FUZZ_CHECK(!(lines && !usage.isEmpty()));
    if (!lines)
        return 0;
    FUZZ_CHECK(lines->size() >= 2);
    QSet<QString> tags;
    for (const NamedLine& n : *lines) {
        FUZZ_CHECK(!n.name.isEmpty());
        FUZZ_CHECK(n.line.device.isEmpty() != (n.line.port == 0));
        FUZZ_CHECK(!n.fileTag.isEmpty());
        for (const QChar ch : n.fileTag)
            FUZZ_CHECK(ch.isLetterOrNumber() || ch == QLatin1Char('-'));
        // Two backups taken in the same second must not share a name.
        FUZZ_CHECK(!tags.contains(n.fileTag));
        tags.insert(n.fileTag);
    }
    return 0;
}
