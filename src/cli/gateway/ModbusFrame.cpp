#include "cli/gateway/ModbusFrame.h"

namespace kx::cli::modbus {
namespace {

std::uint16_t word(const QByteArray& b, qsizetype at)
{
    return std::uint16_t((std::uint8_t(b[at]) << 8) | std::uint8_t(b[at + 1]));
}

void putWord(QByteArray& b, std::uint16_t v)
{
    b.append(char(v >> 8));
    b.append(char(v & 0xFF));
}

Request failed(Request r, Exception e)
{
    r.error = e;
    return r;
}

} // namespace

Cut takeFrame(QByteArray& buffer)
{
    Cut cut;
    if (buffer.size() < HeaderLength)
        return cut;
    const std::uint16_t protocol = word(buffer, 2);
    const std::uint16_t length = word(buffer, 4);
    cut.kind = Cut::Broken;
    // Either is a peer that speaks something else, or a stream out of step: no later byte can
    // be trusted to start a frame, so the connection goes.
    if (protocol != 0) {
        cut.why = "protocol identifier not 0";
        return cut;
    }
    if (length < 2) {
        cut.why = "MBAP length too short for a function code";
        return cut;
    }
    if (length > MaxPduLength + 1) {
        cut.why = "MBAP length beyond the longest PDU";
        return cut;
    }
    if (buffer.size() < HeaderLength - 1 + length) {
        cut.kind = Cut::NeedMore;
        return cut;
    }
    cut.kind = Cut::Frame;
    cut.transaction = word(buffer, 0);
    cut.unit = std::uint8_t(buffer[6]);
    cut.pdu = buffer.mid(HeaderLength, length - 1);
    buffer.remove(0, HeaderLength - 1 + length);
    return cut;
}

Request parseRequest(const QByteArray& pdu)
{
    Request r;
    if (pdu.isEmpty())
        return failed(r, Exception::IllegalFunction);
    r.function = std::uint8_t(pdu[0]);
    const qsizetype n = pdu.size();
    switch (r.function) {
    case 3:
    case 4:
        r.kind = Request::ReadRegisters;
        if (n != 5)
            return failed(r, Exception::IllegalValue);
        r.address = word(pdu, 1);
        r.count = word(pdu, 3);
        if (r.count < 1 || r.count > MaxReadCount)
            return failed(r, Exception::IllegalValue);
        return r;
    case 5: {
        r.kind = Request::WriteCoil;
        if (n != 5)
            return failed(r, Exception::IllegalValue);
        r.address = word(pdu, 1);
        r.count = 1;
        const std::uint16_t v = word(pdu, 3);
        if (v != 0xFF00 && v != 0x0000)
            return failed(r, Exception::IllegalValue);
        r.coilOn = v == 0xFF00;
        return r;
    }
    case 6:
        r.kind = Request::WriteRegister;
        if (n != 5)
            return failed(r, Exception::IllegalValue);
        r.address = word(pdu, 1);
        r.count = 1;
        r.values = {word(pdu, 3)};
        return r;
    case 15: {
        r.kind = Request::WriteCoil;
        if (n < 6)
            return failed(r, Exception::IllegalValue);
        r.address = word(pdu, 1);
        r.count = word(pdu, 3);
        const int bytes = std::uint8_t(pdu[5]);
        if (r.count < 1 || r.count > 1968 || bytes != (r.count + 7) / 8 || n != 6 + bytes)
            return failed(r, Exception::IllegalValue);
        // One key at a time: several coils at once would be several presses in one frame.
        if (r.count != 1)
            return failed(r, Exception::IllegalValue);
        r.coilOn = (std::uint8_t(pdu[6]) & 1) != 0;
        return r;
    }
    case 16: {
        r.kind = Request::WriteRegisters;
        if (n < 6)
            return failed(r, Exception::IllegalValue);
        r.address = word(pdu, 1);
        r.count = word(pdu, 3);
        const int bytes = std::uint8_t(pdu[5]);
        if (r.count < 1 || r.count > MaxWriteCount || bytes != 2 * r.count || n != 6 + bytes)
            return failed(r, Exception::IllegalValue);
        for (int i = 0; i < r.count; ++i)
            r.values << word(pdu, 6 + 2 * i);
        return r;
    }
    case 22: // mask write register
    case 23: // read/write multiple registers
        r.kind = Request::OtherWrite;
        return failed(r, Exception::IllegalFunction);
    default:
        return failed(r, Exception::IllegalFunction);
    }
}

QByteArray exceptionPdu(std::uint8_t function, Exception code)
{
    QByteArray b;
    b.append(char(function | 0x80));
    b.append(char(code));
    return b;
}

QByteArray readPdu(std::uint8_t function, std::span<const std::uint16_t> registers)
{
    QByteArray b;
    b.reserve(2 + 2 * qsizetype(registers.size()));
    b.append(char(function));
    b.append(char(2 * registers.size()));
    for (const std::uint16_t r : registers)
        putWord(b, r);
    return b;
}

QByteArray writePdu(const Request& request, const QByteArray& pdu)
{
    if (request.function == 5 || request.function == 6)
        return pdu;
    QByteArray b;
    b.append(char(request.function));
    putWord(b, request.address);
    putWord(b, request.count);
    return b;
}

QByteArray frame(std::uint16_t transaction, std::uint8_t unit, const QByteArray& pdu)
{
    QByteArray b;
    b.reserve(HeaderLength + pdu.size());
    putWord(b, transaction);
    putWord(b, 0);
    putWord(b, std::uint16_t(pdu.size() + 1));
    b.append(char(unit));
    b.append(pdu);
    return b;
}

} // namespace kx::cli::modbus
