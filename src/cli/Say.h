#pragma once

#include <QString>

namespace kx::cli {

// A command's result on standard output, flushed at once: a script reading the pipe sees each
// line as it is printed.
void out(const QString& line);
// Progress and why a command failed, on standard error.
void err(const QString& line);

} // namespace kx::cli
