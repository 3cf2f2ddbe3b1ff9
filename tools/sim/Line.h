#pragma once

#include "Faults.h"
#include "Wire.h"
#include "SimLog.h"
#include "SimTime.h"

#include <QByteArray>
#include <deque>
#include <optional>

namespace kx::sim {

// What the indicator is sending, which decides the faults that apply to it.
enum class Tx
{
    Frame,       // an unasked weight frame: may be split
    DemandFrame, // a frame asked for by CR: may be split and delayed
    Reply,       // an answer to a command: may be delayed
    Noise,       // line noise
    Raw,         // bytes a script injects: sent even while silent
};

// The wire between the indicator and the program. Outgoing bytes queue here and leave when
// their time comes: after a reply delay, in pieces with pauses, or, when pacing, no faster
// than the program's baud rate allows. Incoming bytes are likewise held until they would
// have crossed the wire. Nothing here ever blocks; what the line cannot take is dropped.
class Line
{
public:
    Line(Wire& pty, SimLog& log, Faults& faults) : pty_(pty), log_(log), faults_(faults) {}

    void send(const QByteArray& bytes, Tx kind, TimePoint now);
    qsizetype queued() const;

    // Bytes read from the program; they reach the indicator through arrived().
    void received(const QByteArray& bytes, TimePoint now);
    QByteArray arrived(TimePoint now);

    // Writes what is due.
    void service(TimePoint now);
    // When service() or arrived() next has something to do.
    std::optional<TimePoint> nextWake(TimePoint now) const;

private:
    struct Chunk
    {
        QByteArray bytes;
        TimePoint notBefore;
        bool started = false;
        TimePoint start;
        qsizetype sent = 0;
        QByteArray written;
    };
    struct Incoming
    {
        char byte;
        TimePoint due;
    };

    void queue(const QByteArray& bytes, TimePoint notBefore);
    void finish(Chunk& chunk);
    std::chrono::nanoseconds characterTime() const;

    Wire& pty_;
    SimLog& log_;
    Faults& faults_;
    std::deque<Chunk> out_;
    std::deque<Incoming> in_;
    TimePoint wireFree_{};
    TimePoint rxWireFree_{};
    bool silentLogged_ = false;
    bool fullLogged_ = false;
};

} // namespace kx::sim
