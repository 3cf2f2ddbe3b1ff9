#include "link/QtSerialDevice.h"
#include "link/SystemSerial.h"

namespace kx {

std::unique_ptr<SerialDevice> makeSystemSerialDevice()
{
    return std::make_unique<QtSerialDevice>();
}

} // namespace kx
