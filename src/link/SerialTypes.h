#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

namespace kx {

// Bytes of the indicator's protocol, by their ASCII names.
enum class Ctl : std::uint8_t
{
    STX = 0x02,
    ETX = 0x03,
    EOT = 0x04,
    ENQ = 0x05,
    ACK = 0x06,
    BEL = 0x07,
    LF = 0x0A,
    CR = 0x0D,
    NAK = 0x15,
};

constexpr char ctl(Ctl c)
{
    return static_cast<char>(c);
}

// What a channel's handler is told about.
// Which way bytes went on the line.
enum class LineDirection
{
    Sent,
    Received
};

enum class TriggerKind
{
    TriggerAvail, // bytes are waiting; count = how many
    TriggerData,  // a pattern arrived; handle = the pattern, count = its length
    TriggerTimer, // a timer notification expired; handle = the timer, count = 0
};

enum class Parity
{
    None,
    Odd,
    Even
};

struct LineSettings
{
    int baud = 19200;
    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1;
};

// A channel operation that failed; names the device and the system's reason.
class ChannelError : public std::runtime_error
{
public:
    enum class Kind
    {
        NoSuchDevice,
        PermissionDenied,
        InUse,
        Io,
        Other
    };

    ChannelError(Kind kind, QString device, QString reason)
        : std::runtime_error(QStringLiteral("%1: %2").arg(device, reason).toStdString()),
          kind_(kind), device_(std::move(device)), reason_(std::move(reason))
    {
    }

    Kind kind() const { return kind_; }
    const QString& device() const { return device_; }
    const QString& reason() const { return reason_; }
    // One line a user can act on: which device and why.
    QString describe() const { return QStringLiteral("%1: %2").arg(device_, reason_); }

private:
    Kind kind_;
    QString device_;
    QString reason_;
};

} // namespace kx
