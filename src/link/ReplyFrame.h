#pragma once

#include <QByteArray>
#include <QString>

namespace kx {

// The units a reply frame names; None when its units field names none of them.
enum class FrameUnits
{
    None,
    Grams,
    Pounds,
    Kilograms,
    Ounces
};

// One reply frame as the face shows it.
struct DecodedFrame
{
    // The weight as the indicator displays it: the frame's first seven characters, unchanged.
    QString weight;
    // The status character was "_": the weight stays on the face when replies go missing.
    bool keepWeight = false;
    FrameUnits units = FrameUnits::None;
    bool net = false;
    // Digits after the first point of the weight text; 0 without a point or with it last.
    int decimals = 0;

    bool operator==(const DecodedFrame&) const = default;
};

// The seventeen characters before a reply frame's EOT. A shorter or longer input is padded
// with blanks or cut to that length, so any bytes decode to some frame.
constexpr int ReplyFrameLength = 17;

// Decodes the bytes of one reply frame (without its EOT). Pure: no state, no failure.
DecodedFrame decodeReplyFrame(const QByteArray& frame);

} // namespace kx
