#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx::sim {

// The bootstrap loader's framing. A message is a payload and one check byte, the XOR of the
// payload with bit 7 set; nothing else delimits it. So the kind is told by the first byte:
// STX opens the enter message (STX "BSL" ETX), EOT is the end message, anything else is a
// HEX line whose payload ends with CR LF. The check byte always has bit 7 set, so it can
// never be mistaken for the CR or LF before it.
namespace loader {

constexpr char Stx = 0x02;
constexpr char Etx = 0x03;
constexpr char Eot = 0x04;

enum class Kind
{
    Enter,
    Line,
    End,
    Overlong
};

struct Message
{
    Kind kind = Kind::Line;
    QByteArray payload;
    quint8 check = 0;
};

quint8 checkByte(const QByteArray& payload);
QByteArray enterPayload();

// True when text (a line without its CR LF) is one Intel-HEX record whose length and
// checksum agree; otherwise false with the reason.
bool hexRecordValid(const QByteArray& text, QString* why);

// Collects bytes into whole messages.
class Collector
{
public:
    std::optional<Message> feed(char byte);
    bool pending() const { return !buffer_.isEmpty(); }
    QByteArray discard();

    // A line longer than this cannot be a HEX record of the loader's buffer.
    static constexpr int MaxMessage = 600;

private:
    QByteArray buffer_;
};

} // namespace loader
} // namespace kx::sim
