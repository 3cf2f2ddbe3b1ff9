#pragma once

#include "WeightModel.h"

#include <QByteArray>
#include <QDateTime>

namespace kx::sim {

// The indicator's texts, built from a reading. Pure functions: no state, no I/O.
namespace frames {

constexpr int FrameLength = 17;
constexpr char Eot = 0x04;

// Seven characters, right-aligned, with the decimals of the units ("  12.50"); a value that
// does not fit, or a load beyond capacity, shows " OVERLD".
QByteArray weightText(double value, Units units, bool overload = false);

// The 17-character reply frame followed by EOT:
//   1-7 weight, 8 "_" when stable (blank in motion), 9-10 units, 11 blank,
//   12-13 "NT" or "GR", 14-17 blanks.
QByteArray frame(const Reading& reading);

// The field-bus debug line, ended by CR. seq counts the answers so a watcher sees it change.
QByteArray debugLine(const Reading& reading, int seq);

// One printed ticket, as a single line for the log.
QByteArray ticket(const Reading& reading, const QDateTime& when);

} // namespace frames
} // namespace kx::sim
