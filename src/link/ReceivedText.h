#pragma once

#include "link/MainLine.h"

#include <QByteArray>

namespace kx {

// How the engines take what the port received, the same for each of them.

// The most bytes taken from the port in one notification; the rest go in 64-byte pieces.
inline constexpr int OverflowLimit = 511;
inline constexpr int OverflowPiece = 64;

// Takes and drops the excess of a notification beyond the overflow limit, 64 bytes at a
// time; returns the count still to be used. dropped tells whether anything went.
int dropOverflow(MainLine& line, int count, bool& dropped);

// Appends up to the first NUL: the receive text is a C string.
void appendText(QByteArray& text, const QByteArray& bytes);

} // namespace kx
