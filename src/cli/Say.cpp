#include "cli/Say.h"

#include "cli/Terminal.h"

#include <QStringList>

#include <cstdio>

namespace kx::cli {

void out(const QString& line)
{
    std::fprintf(stdout, "%s\n", qPrintable(terminalText(line)));
    std::fflush(stdout);
}

void err(const QString& text)
{
    // A message of several lines is printed as lines; what each line quotes stays escaped.
    for (const QString& line : text.split(QLatin1Char('\n')))
        std::fprintf(stderr, "%s\n", qPrintable(terminalText(line)));
}

} // namespace kx::cli
