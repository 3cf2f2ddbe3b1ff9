#pragma once

#include <QString>

namespace kx {

// Why path is no serial port to open as the indicator's line, or empty when it may be one.
// Refused: a name that is blank, a regular file, a folder, a FIFO or socket, a character
// device that is no terminal (/dev/null), the controlling terminal (/dev/tty, or the user's
// own terminal by its name) and a pseudo-terminal master, where the program would talk to
// the user or make a new terminal instead of a scale. A pseudo-terminal's other side, as an
// adapter or a simulator gives, is a serial port. A path that does not exist, or that this
// process may not open, is left to the open, which says so in its own words. Nothing is
// ever written to the device. Where the system has no such test, every name passes.
QString notASerialPort(const QString& path);

} // namespace kx
