#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <span>

namespace kx::cli::modbus {

// The standard exception codes the gateway answers with.
enum class Exception : std::uint8_t
{
    None = 0,
    IllegalFunction = 0x01,
    IllegalAddress = 0x02,
    IllegalValue = 0x03,
    DeviceFailure = 0x04,
    TargetFailed = 0x0B, // the gateway's target device failed to respond
};

inline constexpr int HeaderLength = 7;  // MBAP: transaction, protocol, length, unit
inline constexpr int MaxPduLength = 253;
inline constexpr int MaxReadCount = 125; // registers in one read
inline constexpr int MaxWriteCount = 123;

// One frame cut off the front of what a connection received.
struct Cut
{
    enum Kind
    {
        NeedMore, // not a whole frame yet: wait for more bytes
        Frame,
        Broken, // not Modbus TCP: the connection is to be closed
    } kind = NeedMore;
    std::uint16_t transaction = 0;
    std::uint8_t unit = 0;
    QByteArray pdu;
    const char* why = ""; // for Broken, in words for the log
};
// Takes the first frame off buffer (and only then removes its bytes).
Cut takeFrame(QByteArray& buffer);

// What a request asks, once its PDU has been checked.
struct Request
{
    enum Kind
    {
        ReadRegisters,  // 3 holding, 4 input
        WriteCoil,      // 5, or 15 with one coil
        WriteRegister,  // 6
        WriteRegisters, // 16
        OtherWrite,     // any other function that changes a server's data
        Unknown,
    } kind = Unknown;
    std::uint8_t function = 0;
    // Set when the PDU itself is wrong: the answer is this exception, whatever the unit.
    Exception error = Exception::None;
    std::uint16_t address = 0;
    std::uint16_t count = 0;
    bool coilOn = false;
    QList<std::uint16_t> values;
};
Request parseRequest(const QByteArray& pdu);

QByteArray exceptionPdu(std::uint8_t function, Exception code);
// Function, byte count, the registers big-endian.
QByteArray readPdu(std::uint8_t function, std::span<const std::uint16_t> registers);
// What a write's answer says: 5 and 6 echo the request, 15 and 16 give address and count.
QByteArray writePdu(const Request& request, const QByteArray& pdu);
// The MBAP header in front of pdu.
QByteArray frame(std::uint16_t transaction, std::uint8_t unit, const QByteArray& pdu);

} // namespace kx::cli::modbus
