#include "link/ReplyFrame.h"

namespace kx {

DecodedFrame decodeReplyFrame(const QByteArray& bytes)
{
    const QByteArray frame = bytes.leftJustified(ReplyFrameLength, ' ', true);
    DecodedFrame d;
    d.weight = QString::fromLatin1(frame.left(7));
    d.keepWeight = frame.at(7) == '_';
    const qsizetype point = d.weight.indexOf(QLatin1Char('.')) + 1;
    d.decimals = point > 0 && point < d.weight.size() ? int(d.weight.size() - point) : 0;
    const QByteArray units = frame.mid(8, 2).toUpper();
    if (units.startsWith('G'))
        d.units = FrameUnits::Grams;
    else if (units == "LB")
        d.units = FrameUnits::Pounds;
    else if (units == "KG")
        d.units = FrameUnits::Kilograms;
    else if (units == "OZ")
        d.units = FrameUnits::Ounces;
    d.net = frame.mid(11, 2).toUpper() == "NT";
    return d;
}

} // namespace kx
