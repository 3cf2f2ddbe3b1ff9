#pragma once

#include <QByteArray>

namespace kx {

// The loader's transmit buffer: a whole message, check byte included, must fit.
constexpr int LoaderTransmitBuffer = 256;

// The byte that closes every message to the bootstrap loader: the exclusive-or of the
// payload with bit 7 set, so it can never be mistaken for a control byte.
char loaderCheckByte(const QByteArray& payload);

// A payload followed by its check byte.
QByteArray loaderMessage(const QByteArray& payload);

// STX "BSL" ETX and its check byte: 02 42 53 4C 03 DC.
QByteArray loaderEnterMessage();
// One line of the image exactly as it stands, then CR LF and the check byte.
QByteArray loaderLineMessage(const QByteArray& line);
// EOT and its check byte: 04 84.
QByteArray loaderEndMessage();

} // namespace kx
