#pragma once

#include <QCommandLineParser>
#include <QString>
#include <optional>

namespace kx::cli {

// A whole decimal number from min to max, written as digits only (no sign, blanks, hex or
// exponent); nothing otherwise.
std::optional<qint64> strictWhole(const QString& text, qint64 min, qint64 max);

// The ranges of the numeric options.
inline constexpr qint64 MaxCount = 2147483647;  // --count: 1 to 2^31 - 1
inline constexpr qint64 MinTimeoutMs = 100;     // --timeout: 100 ms ...
inline constexpr qint64 MaxTimeoutMs = 3600000; // ... to one hour
inline constexpr qint64 MaxPort = 99999;        // --port: 1 to 99999

// Checks every numeric option the command has that is given (--count, --timeout, --port,
// --outputs, --baud); false with why naming the option, the value and what it takes.
bool checkNumericOptions(const QCommandLineParser& options, QString& why);

// The value of a checked option, or def when it is not given.
qint64 numericOption(const QCommandLineParser& options, const QString& name, qint64 def);

// The options every command takes: which line, how it is set up, its log, and how much is said.
void addLineOptions(QCommandLineParser& parser);

} // namespace kx::cli
