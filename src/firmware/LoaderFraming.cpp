#include "firmware/LoaderFraming.h"

#include "link/SerialTypes.h"

namespace kx {

char loaderCheckByte(const QByteArray& payload)
{
    unsigned char x = 0;
    for (const char c : payload)
        x ^= static_cast<unsigned char>(c);
    return static_cast<char>(x | 0x80);
}

QByteArray loaderMessage(const QByteArray& payload)
{
    return payload + loaderCheckByte(payload);
}

QByteArray loaderEnterMessage()
{
    return loaderMessage(ctl(Ctl::STX) + QByteArray("BSL") + ctl(Ctl::ETX));
}

QByteArray loaderLineMessage(const QByteArray& line)
{
    return loaderMessage(line + "\r\n");
}

QByteArray loaderEndMessage()
{
    return loaderMessage(QByteArray(1, ctl(Ctl::EOT)));
}

} // namespace kx
