#pragma once

#include "link/SerialDevice.h"

#include <memory>

namespace kx {

// The serial port of the system the program runs on: QSerialPort on Linux, the program's own
// Win32 port on Windows, where Qt Serial Port is not built.
std::unique_ptr<SerialDevice> makeSystemSerialDevice();

} // namespace kx
