#include "settings/WrapperCodes.h"

namespace kx {
namespace {

const char* const kCharNames[] = {"SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",
                                  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",  "DLE",
                                  "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN",
                                  "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",  "SP"};

} // namespace

QByteArrayList charMenuItems()
{
    QByteArrayList names;
    for (const char* name : kCharNames)
        names.append(QByteArray("<") + name + '>');
    return names;
}

QByteArray wrapperCharName(int code)
{
    if (code <= 0)
        return {};
    if (code < 32)
        return kCharNames[code - 1];
    if (code == 32)
        return "<SP>";
    return '[' + QByteArray(1, char(code & 0xff)) + ']';
}

} // namespace kx
