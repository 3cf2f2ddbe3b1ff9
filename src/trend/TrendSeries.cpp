#include "trend/TrendSeries.h"

#include <algorithm>
#include <cmath>

namespace kx {
namespace {

constexpr qint64 SpanMs[TrendSpanCount] = {60'000, 600'000, 3'600'000, 28'800'000};

qint64 alignDown(qint64 t, qint64 width)
{
    const qint64 q = t / width;
    return (t % width < 0 ? q - 1 : q) * width;
}

// Chan's pairwise update: the spread of two groups joined, without the cancellation a plain
// sum of squares suffers when the spread is small beside the weight.
void merge(TrendSeries::Bucket& into, const TrendSeries::Bucket& b)
{
    if (b.count == 0)
        return;
    if (into.count == 0) {
        const qint64 start = into.start;
        into = b;
        into.start = start;
        return;
    }
    const double n = double(into.count) + b.count;
    const double delta = b.mean - into.mean;
    into.mean += delta * b.count / n;
    into.m2 += b.m2 + delta * delta * double(into.count) * b.count / n;
    into.count += b.count;
    into.min = std::min(into.min, b.min);
    into.max = std::max(into.max, b.max);
    into.last = b.last;
}

} // namespace

qint64 trendSpanMs(TrendSpan span)
{
    return SpanMs[int(span)];
}

qint64 TrendSeries::bucketWidthMs(TrendSpan span)
{
    return span == TrendSpan::OneMinute ? 0 : SpanMs[int(span)] / BucketsPerSpan;
}

TrendSeries::TrendSeries()
{
    for (int i = 0; i < TrendSpanCount - 1; ++i) {
        levels_[i].span = SpanMs[i + 1];
        levels_[i].width = SpanMs[i + 1] / BucketsPerSpan;
    }
}

void TrendSeries::clear()
{
    frames_.clear();
    for (Level& level : levels_)
        level.buckets.clear();
    gapPending_ = true;
    lastT_.reset();
    lastSettled_ = false;
    settledAt_.reset();
    anyUnits_ = false;
}

void TrendSeries::markGap()
{
    gapPending_ = true;
    lastSettled_ = false;
}

qint64 TrendSeries::firstShownBucket(const Level& level, qint64 now)
{
    return alignDown(now, level.width) + level.width - level.span;
}

void TrendSeries::prune(qint64 now)
{
    while (!frames_.empty() && frames_.front().t <= now - SpanMs[0])
        frames_.pop_front();
    for (Level& level : levels_) {
        const qint64 first = firstShownBucket(level, now);
        while (!level.buckets.empty() && level.buckets.front().start < first)
            level.buckets.pop_front();
    }
}

void TrendSeries::add(qint64 t, std::optional<double> value, bool settled, bool net, int decimals,
                      FrameUnits units)
{
    if (anyUnits_ && units != units_)
        clear();
    anyUnits_ = true;
    units_ = units;
    if (lastT_ && t < *lastT_)
        t = *lastT_;
    const bool silence = lastT_ && t - *lastT_ > SilenceGapMs;
    lastT_ = t;
    prune(t);
    if (!value || !std::isfinite(*value)) {
        markGap();
        return;
    }
    const bool breakBefore = gapPending_ || silence;
    gapPending_ = false;
    if (settled && (!lastSettled_ || breakBefore))
        settledAt_ = t;
    lastSettled_ = settled;
    decimals_ = decimals;

    const double v = *value;
    frames_.push_back({t, v, settled, net, breakBefore});
    for (Level& level : levels_) {
        const qint64 start = alignDown(t, level.width);
        if (level.buckets.empty() || level.buckets.back().start != start) {
            Bucket b;
            b.start = start;
            b.min = b.max = v;
            level.buckets.push_back(b);
        }
        Bucket& b = level.buckets.back();
        if (v < b.min || b.count == 0) {
            b.min = v;
            b.minFirst = false;
        }
        if (v > b.max || b.count == 0) {
            b.max = v;
            b.minFirst = true;
        }
        ++b.count;
        const double delta = v - b.mean;
        b.mean += delta / b.count;
        b.m2 += delta * (v - b.mean);
        b.last = v;
        b.motion += settled ? 0 : 1;
        b.net += net ? 1 : 0;
        b.breakBefore = b.breakBefore || breakBefore;
    }
}

std::vector<TrendSeries::Bucket> TrendSeries::shownBuckets(TrendSpan span, qint64 now) const
{
    std::vector<Bucket> out;
    if (span == TrendSpan::OneMinute)
        return out;
    const Level& level = levels_[int(span) - 1];
    const qint64 first = firstShownBucket(level, now);
    for (const Bucket& b : level.buckets)
        if (b.start >= first && b.start <= now)
            out.push_back(b);
    return out;
}

std::vector<TrendPoint> TrendSeries::points(TrendSpan span, qint64 now) const
{
    std::vector<TrendPoint> out;
    if (span == TrendSpan::OneMinute) {
        out.reserve(frames_.size());
        for (const Frame& f : frames_)
            if (f.t > now - SpanMs[0] && f.t <= now)
                out.push_back({f.t, f.value, f.settled, f.net, f.breakBefore});
        return out;
    }
    const qint64 width = bucketWidthMs(span);
    const std::vector<Bucket> buckets = shownBuckets(span, now);
    out.reserve(buckets.size() * 2);
    qint64 expected = 0;
    bool first = true;
    for (const Bucket& b : buckets) {
        // An empty bucket between two is time without a frame.
        const bool gap = first || b.breakBefore || b.start != expected;
        first = false;
        expected = b.start + width;
        const bool settled = 2 * b.motion < b.count;
        const bool net = 2 * b.net > b.count;
        if (b.min == b.max) {
            out.push_back({b.start + width / 2, b.min, settled, net, gap});
            continue;
        }
        const double a = b.minFirst ? b.min : b.max;
        const double z = b.minFirst ? b.max : b.min;
        out.push_back({b.start + width / 4, a, settled, net, gap});
        out.push_back({b.start + 3 * width / 4, z, settled, net, false});
    }
    return out;
}

std::optional<qint64> TrendSeries::stableFor() const
{
    if (frames_.empty())
        return std::nullopt;
    // Back from the newest frame while the frames stay within one display division.
    const double division = std::pow(10.0, -decimals_) * (1 + 1e-9);
    double lo = frames_.back().value;
    double hi = lo;
    qint64 since = frames_.back().t;
    bool reachedOldest = true;
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
        lo = std::min(lo, it->value);
        hi = std::max(hi, it->value);
        if (hi - lo > division) {
            reachedOldest = false;
            break;
        }
        since = it->t;
        if (it->breakBefore) {
            reachedOldest = false;
            break;
        }
    }
    // Steady for longer than the frames kept: on through the buckets, finest first.
    for (const Level& level : levels_) {
        if (!reachedOldest)
            break;
        for (auto it = level.buckets.rbegin(); it != level.buckets.rend(); ++it) {
            if (it->start >= since)
                continue;
            lo = std::min(lo, it->min);
            hi = std::max(hi, it->max);
            if (hi - lo > division) {
                reachedOldest = false;
                break;
            }
            since = it->start;
            if (it->breakBefore) {
                reachedOldest = false;
                break;
            }
        }
    }
    const qint64 length = frames_.back().t - since;
    if (length <= 0)
        return std::nullopt;
    return length;
}

TrendStats TrendSeries::statistics(TrendSpan span, qint64 now) const
{
    TrendStats s;
    s.decimals = decimals_;
    s.units = units_;
    Bucket all;
    if (span == TrendSpan::OneMinute) {
        for (const Frame& f : frames_) {
            if (f.t <= now - SpanMs[0] || f.t > now)
                continue;
            Bucket one;
            one.count = 1;
            one.min = one.max = one.mean = one.last = f.value;
            merge(all, one);
        }
    } else {
        for (const Bucket& b : shownBuckets(span, now))
            merge(all, b);
    }
    s.count = all.count;
    if (all.count > 0) {
        s.last = all.last;
        s.min = all.min;
        s.max = all.max;
        s.mean = all.mean;
        s.stddev = std::sqrt(std::max(0.0, all.m2 / all.count));
    }
    if (settledAt_)
        s.settledAgoMs = now - *settledAt_;
    s.stableForMs = stableFor();
    if (!frames_.empty())
        s.lastAgeMs = now - frames_.back().t;
    return s;
}

std::size_t TrendSeries::storedEntries() const
{
    std::size_t n = frames_.size();
    for (const Level& level : levels_)
        n += level.buckets.size();
    return n;
}

} // namespace kx
