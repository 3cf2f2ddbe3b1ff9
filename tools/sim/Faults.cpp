#include "Faults.h"

#include <algorithm>

namespace kx::sim {

Faults::Faults(quint32 seed, TimePoint start) : start_(start), silentUntil_(start), random_(seed) {}

bool Faults::silent(TimePoint now) const
{
    if (silentForGood_ || now < silentUntil_)
        return true;
    const qint64 t = msBetween(start_, now);
    return std::any_of(windows.cbegin(), windows.cend(), [t](const Window& w) {
        return t >= w.startMs && t < w.startMs + w.lengthMs;
    });
}

void Faults::silenceFor(qint64 ms, TimePoint now)
{
    silentForGood_ = ms < 0;
    silentUntil_ = ms > 0 ? now + milliseconds(ms) : now;
    if (ms == 0) {
        windows.clear();
        silentAfter = -1;
    }
}

void Faults::frameSent()
{
    ++frames_;
    if (silentAfter >= 0 && frames_ >= silentAfter)
        silentForGood_ = true;
}

QByteArray Faults::noiseBytes()
{
    std::uniform_int_distribution<int> coin(0, 1);
    if (coin(random_) == 0)
        return {};
    std::uniform_int_distribution<int> count(1, 8);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray out;
    for (int i = count(random_); i > 0; --i) {
        int b = byte(random_);
        while (b == 0x06 || b == 0x15)
            b = byte(random_);
        out += static_cast<char>(b);
    }
    return out;
}

QList<qsizetype> Faults::pieces(qsizetype n)
{
    if (n < 2)
        return {n};
    std::uniform_int_distribution<int> count(2, 4);
    const int k = static_cast<int>(std::min<qsizetype>(count(random_), n));
    // k-1 distinct cut points inside the frame.
    QList<qsizetype> cuts;
    std::uniform_int_distribution<qsizetype> at(1, n - 1);
    while (cuts.size() < k - 1) {
        const qsizetype c = at(random_);
        if (!cuts.contains(c))
            cuts << c;
    }
    std::sort(cuts.begin(), cuts.end());
    QList<qsizetype> sizes;
    qsizetype from = 0;
    for (const qsizetype c : cuts) {
        sizes << c - from;
        from = c;
    }
    sizes << n - from;
    return sizes;
}

milliseconds Faults::pieceGap()
{
    std::uniform_int_distribution<int> gap(3, 20);
    return milliseconds(gap(random_));
}

bool Faults::refuseLine()
{
    ++lines_;
    return nakEvery > 0 && lines_ % nakEvery == 0;
}

bool Faults::takeRefuseNext()
{
    const bool r = refuseNext_;
    refuseNext_ = false;
    return r;
}

} // namespace kx::sim
