#include "trend/TrendScale.h"

#include <algorithm>
#include <cmath>

namespace kx {
namespace {

// Steps a reader counts in on a clock face; each divides a day, so a tick on a round local
// time stays on one from one day to the next.
constexpr qint64 TimeStepsMs[] = {
    1'000,   2'000,   5'000,     10'000,    15'000,    30'000,     60'000,     120'000,   300'000,
    600'000, 900'000, 1'800'000, 3'600'000, 7'200'000, 10'800'000, 14'400'000, 21'600'000};

qint64 ceilTo(qint64 t, qint64 step)
{
    const qint64 q = t / step;
    return (t % step > 0 ? q + 1 : q) * step;
}

} // namespace

std::vector<double> WeightScale::ticks() const
{
    std::vector<double> out;
    const long n = std::lround((to - from) / step);
    out.reserve(std::size_t(std::max(0L, n) + 1));
    // From whole multiples of the step, so no sum of steps drifts off a round label.
    const double first = std::round(from / step);
    for (long i = 0; i <= n; ++i)
        out.push_back((first + double(i)) * step);
    return out;
}

WeightScale weightScale(double lo, double hi, int decimals, bool any)
{
    if (!any || !std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0;
        hi = 1;
    }
    if (hi < lo)
        std::swap(lo, hi);
    const double division = std::pow(10.0, -std::clamp(decimals, 0, 6));
    const double pad = std::max((hi - lo) * 0.08, 2 * division);
    const double low = lo - pad;
    const double high = hi + pad;
    const double raw = (high - low) / 6;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * decade;
    for (const double m : {1.0, 2.0, 2.5, 5.0})
        if (m * decade >= raw * (1 - 1e-9)) {
            step = m * decade;
            break;
        }
    // Labels one division apart at least: finer than the display shows is noise.
    step = std::max(step, division);
    WeightScale s;
    s.step = step;
    s.from = std::floor(low / step + 1e-9) * step;
    s.to = std::ceil(high / step - 1e-9) * step;
    if (s.to <= s.from)
        s.to = s.from + step;
    return s;
}

TimeTicks timeTicks(qint64 from, qint64 to, qint64 utcOffsetMs, int maxTicks)
{
    TimeTicks out;
    if (to <= from)
        return out;
    maxTicks = std::max(maxTicks, 2);
    out.stepMs = TimeStepsMs[std::size(TimeStepsMs) - 1];
    for (const qint64 step : TimeStepsMs)
        if ((to - from) / step + 1 <= maxTicks) {
            out.stepMs = step;
            break;
        }
    for (qint64 local = ceilTo(from + utcOffsetMs, out.stepMs); local - utcOffsetMs <= to;
         local += out.stepMs)
        out.at.push_back(local - utcOffsetMs);
    return out;
}

} // namespace kx
