#pragma once

#include "link/ReplyFrame.h"

#include <QtGlobal>
#include <array>
#include <deque>
#include <optional>
#include <vector>

namespace kx {

// The spans a trend can show, shortest first.
enum class TrendSpan
{
    OneMinute,
    TenMinutes,
    OneHour,
    EightHours
};
constexpr int TrendSpanCount = 4;
qint64 trendSpanMs(TrendSpan span);

// One point to draw. breakBefore: no line joins it to the point before (no frame came in
// between, the face blanked, or the line was with another owner).
struct TrendPoint
{
    qint64 t = 0;
    double value = 0;
    bool settled = false;
    bool net = false;
    bool breakBefore = false;
};

// What the statistics under the picture say about the shown span. The durations are empty
// while they mean nothing (never settled; not within one division).
struct TrendStats
{
    int count = 0;
    double last = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
    double stddev = 0;
    int decimals = 0;
    FrameUnits units = FrameUnits::None;
    std::optional<qint64> settledAgoMs;
    std::optional<qint64> stableForMs;
    // How long ago the newest frame came; empty before the first. Frames come ten times a
    // second while the line is up, so an age of seconds means the last value is old.
    std::optional<qint64> lastAgeMs;
};

// The weights of the shown frames over time, in memory bounded by the screen rather than by
// how long the program runs: every frame of the last minute, and for each longer span a fixed
// number of buckets holding the min, max, mean and spread of the frames that fell in them. So
// eight hours at ten frames a second cost a few thousand entries, and every span's picture and
// statistics come from at most that many.
//
// Times are the link clock's milliseconds and never go backwards. A frame in other units than
// the ones before starts the series afresh: one axis cannot carry two units.
class TrendSeries
{
public:
    // Buckets across each of the longer spans.
    static constexpr int BucketsPerSpan = 600;
    // Longer than this without a frame is a gap in the picture.
    static constexpr qint64 SilenceGapMs = 1000;

    TrendSeries();

    // A shown frame; no value when the face showed no number (over or under range, blanked),
    // which the picture keeps as a gap.
    void add(qint64 t, std::optional<double> value, bool settled, bool net, int decimals,
             FrameUnits units);
    // The face blanked or the line went elsewhere: the next frame starts a new line.
    void markGap();
    void clear();

    // What one span shows at now, oldest first: the frames themselves for the shortest span,
    // each bucket's extremes (in the order they came) for the longer ones.
    std::vector<TrendPoint> points(TrendSpan span, qint64 now) const;
    TrendStats statistics(TrendSpan span, qint64 now) const;

    // Entries held, for the benchmark and the memory bound.
    std::size_t storedEntries() const;
    // The width of one bucket of a longer span (the shortest span keeps every frame: 0).
    static qint64 bucketWidthMs(TrendSpan span);

    struct Bucket
    {
        qint64 start = 0;
        int count = 0;
        double min = 0;
        double max = 0;
        double mean = 0;
        double m2 = 0; // sum of squared deviations from the mean
        double last = 0;
        bool minFirst = true;
        int motion = 0;
        int net = 0;
        bool breakBefore = false;
    };
    // The buckets of a longer span that it shows at now, oldest first.
    std::vector<Bucket> shownBuckets(TrendSpan span, qint64 now) const;

private:
    struct Frame
    {
        qint64 t;
        double value;
        bool settled;
        bool net;
        bool breakBefore;
    };
    struct Level
    {
        qint64 width = 0;
        qint64 span = 0;
        std::deque<Bucket> buckets;
    };

    static qint64 firstShownBucket(const Level& level, qint64 now);
    void prune(qint64 now);
    std::optional<qint64> stableFor() const;

    std::deque<Frame> frames_;
    std::array<Level, TrendSpanCount - 1> levels_;
    bool gapPending_ = true;
    std::optional<qint64> lastT_;
    bool lastSettled_ = false;
    std::optional<qint64> settledAt_;
    int decimals_ = 0;
    FrameUnits units_ = FrameUnits::None;
    bool anyUnits_ = false;
};

} // namespace kx
