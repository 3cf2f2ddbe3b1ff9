#pragma once

#include <QtGlobal>
#include <vector>

namespace kx {

// The weight axis of the trend picture: from and to on whole steps, the step a round number.
struct WeightScale
{
    double from = 0;
    double to = 1;
    double step = 1;
    // The values that get a tick and a label, from..to.
    std::vector<double> ticks() const;
};

// The scale for weights between lo and hi shown with decimals places (any = false: nothing is
// shown yet). It hugs what is shown with a little room, at least two display divisions either
// side when the weight stands still, in about six steps of 1, 2, 2.5 or 5 times a power of
// ten, never finer than one division.
WeightScale weightScale(double lo, double hi, int decimals, bool any = true);

// The ticks of the time axis between from and to (wall-clock milliseconds since the epoch): on
// round local times (hh:mm:10, hh:00, ...), no more than maxTicks of them, a step from a
// fixed list of 1 s to 6 h. utcOffsetMs: the local time's offset from UTC, so an hour's tick
// falls on the local hour where the zone is a half hour off.
struct TimeTicks
{
    qint64 stepMs = 0;
    std::vector<qint64> at;
};
TimeTicks timeTicks(qint64 from, qint64 to, qint64 utcOffsetMs, int maxTicks);

} // namespace kx
