// Any bytes a Modbus client sends: frames are cut only whole, a broken stream is said to be
// broken without reading past it, every request is either understood or gets an exception,
// and the answer fits a frame.
#include "FuzzCheck.h"
#include "cli/gateway/ModbusFrame.h"

#include <cstddef>
#include <cstdint>

using namespace kx::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    while (true) {
        const qsizetype before = buffer.size();
        const modbus::Cut cut = modbus::takeFrame(buffer);
        if (cut.kind != modbus::Cut::Frame) {
            FUZZ_CHECK(buffer.size() == before);
            break;
        }
        FUZZ_CHECK(!cut.pdu.isEmpty() && cut.pdu.size() <= modbus::MaxPduLength);
        FUZZ_CHECK(buffer.size() == before - modbus::HeaderLength - cut.pdu.size());
        const modbus::Request r = modbus::parseRequest(cut.pdu);
        if (r.error == modbus::Exception::None) {
            FUZZ_CHECK(r.kind != modbus::Request::Unknown && r.kind != modbus::Request::OtherWrite);
            FUZZ_CHECK(r.count >= 1);
            if (r.kind == modbus::Request::ReadRegisters)
                FUZZ_CHECK(r.count <= modbus::MaxReadCount);
            if (r.kind == modbus::Request::WriteRegisters)
                FUZZ_CHECK(r.values.size() == r.count);
            const QByteArray answer = modbus::writePdu(r, cut.pdu);
            FUZZ_CHECK(answer.size() <= modbus::MaxPduLength);
        }
        const QByteArray answer = modbus::frame(cut.transaction, cut.unit,
                                                modbus::exceptionPdu(r.function, r.error));
        FUZZ_CHECK(answer.size() == modbus::HeaderLength + 2);
    }
    return 0;
}
