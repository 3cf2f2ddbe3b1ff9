#pragma once

#include <QtGlobal>
#include <chrono>

namespace kx::sim {

// The simulator runs on real time: it stands in for a device on a real line, so every
// part takes "now" from the caller and never reads a clock of its own.
using SimClock = std::chrono::steady_clock;
using TimePoint = SimClock::time_point;
using Duration = SimClock::duration;
using std::chrono::milliseconds;

inline qint64 msBetween(TimePoint from, TimePoint to)
{
    return std::chrono::duration_cast<milliseconds>(to - from).count();
}

} // namespace kx::sim
