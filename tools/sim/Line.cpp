#include "Line.h"

#include <algorithm>

namespace kx::sim {

std::chrono::nanoseconds Line::characterTime() const
{
    return faults_.pace ? pty_.characterTime() : std::chrono::nanoseconds(0);
}

void Line::send(const QByteArray& bytes, Tx kind, TimePoint now)
{
    if (bytes.isEmpty())
        return;
    if (kind != Tx::Raw && faults_.silent(now)) {
        if (!silentLogged_)
            log_.note(QStringLiteral("silent: output suppressed"));
        silentLogged_ = true;
        return;
    }
    if (silentLogged_ && kind != Tx::Raw) {
        log_.note(QStringLiteral("talking again"));
        silentLogged_ = false;
    }
    TimePoint at = now;
    if (kind == Tx::Reply || kind == Tx::DemandFrame)
        at += milliseconds(faults_.delayMs);
    if ((kind == Tx::Frame || kind == Tx::DemandFrame) && faults_.split) {
        qsizetype from = 0;
        const QList<qsizetype> sizes = faults_.pieces(bytes.size());
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            if (i > 0)
                at += faults_.pieceGap();
            queue(bytes.mid(from, sizes[i]), at);
            from += sizes[i];
        }
        return;
    }
    queue(bytes, at);
}

void Line::queue(const QByteArray& bytes, TimePoint notBefore)
{
    // Later bytes never overtake earlier ones: a slow reply holds up what follows it.
    if (!out_.empty())
        notBefore = std::max(notBefore, out_.back().notBefore);
    Chunk chunk;
    chunk.bytes = bytes;
    chunk.notBefore = notBefore;
    out_.push_back(chunk);
}

qsizetype Line::queued() const
{
    qsizetype n = 0;
    for (const Chunk& c : out_)
        n += c.bytes.size() - c.sent;
    return n;
}

void Line::received(const QByteArray& bytes, TimePoint now)
{
    log_.rx(bytes);
    const auto ct = characterTime();
    for (const char b : bytes) {
        TimePoint due = now;
        if (ct.count() > 0) {
            due = std::max(rxWireFree_, now) + std::chrono::duration_cast<Duration>(ct);
            rxWireFree_ = due;
        }
        in_.push_back({b, due});
    }
}

QByteArray Line::arrived(TimePoint now)
{
    QByteArray out;
    while (!in_.empty() && in_.front().due <= now) {
        out += in_.front().byte;
        in_.pop_front();
    }
    return out;
}

void Line::finish(Chunk& chunk)
{
    if (!chunk.written.isEmpty())
        log_.tx(chunk.written);
    const qsizetype lost = chunk.bytes.size() - chunk.written.size();
    if (lost > 0 && !fullLogged_) {
        log_.note(QStringLiteral("line full (the program is not reading): dropping output"));
        fullLogged_ = true;
    } else if (lost == 0) {
        fullLogged_ = false;
    }
}

void Line::service(TimePoint now)
{
    while (!out_.empty()) {
        Chunk& c = out_.front();
        if (now < c.notBefore)
            return;
        const auto ct = characterTime();
        if (!c.started) {
            c.started = true;
            c.start = std::max(now, wireFree_);
        }
        qsizetype due = c.bytes.size();
        if (ct.count() > 0)
            due = std::min<qsizetype>(due, (now - c.start) / ct);
        if (due > c.sent) {
            const QByteArray piece = c.bytes.mid(c.sent, due - c.sent);
            c.written += piece.left(pty_.write(piece));
            c.sent = due;
        }
        if (c.sent < c.bytes.size())
            return;
        wireFree_ = ct.count() > 0
                        ? c.start + std::chrono::duration_cast<Duration>(ct * c.bytes.size())
                        : now;
        finish(c);
        out_.pop_front();
    }
}

std::optional<TimePoint> Line::nextWake(TimePoint now) const
{
    std::optional<TimePoint> wake;
    if (!in_.empty())
        wake = in_.front().due;
    if (!out_.empty()) {
        const Chunk& c = out_.front();
        TimePoint t = c.notBefore;
        if (c.started) {
            const auto ct = characterTime();
            t = ct.count() > 0 ? c.start + std::chrono::duration_cast<Duration>(ct * (c.sent + 1))
                               : now;
        }
        wake = wake ? std::min(*wake, t) : t;
    }
    return wake;
}

} // namespace kx::sim
