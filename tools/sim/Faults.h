#pragma once

#include "SimTime.h"

#include <QByteArray>
#include <QList>
#include <random>

namespace kx::sim {

// Misbehaviour on request, for tests and demonstrations: line noise, frames cut in pieces,
// silence, refused loader lines and slow replies. Random choices come from one seeded
// generator, so a run with the same seed and the same input misbehaves the same way.
class Faults
{
public:
    struct Window
    {
        qint64 startMs; // from the simulator's start
        qint64 lengthMs;
    };

    Faults(quint32 seed, TimePoint start);

    bool noise = false;
    bool split = false;
    bool pace = false;
    qint64 delayMs = 0;
    // How long the indicator takes to store a downloaded setup before it answers the data.
    qint64 storeMs = 0;
    int nakEvery = 0;     // every Nth loader line is refused; 0 never
    // Downloads are aborted: the data is answered with "ready" instead of ACK or NAK.
    bool abortDownloads = false;
    // The indicator hangs when told d: it falls silent for good instead of saying "ready".
    bool silentOnDownload = false;
    int silentAfter = -1; // silent for good after this many frames; -1 never
    QList<Window> windows;

    // Whether the indicator says nothing at this moment.
    bool silent(TimePoint now) const;
    // Silence from now for ms; a negative length is for good, 0 ends any silence.
    void silenceFor(qint64 ms, TimePoint now);
    // Counts a frame toward silentAfter; the frame that reaches it is still sent.
    void frameSent();
    int framesSent() const { return frames_; }

    // Up to eight random bytes, none of them ACK or NAK (which mean something to the
    // program at any time); empty about half the time.
    QByteArray noiseBytes();
    // Sizes of the 2 to 4 pieces a frame of n bytes is written in.
    QList<qsizetype> pieces(qsizetype n);
    // The pause between two pieces.
    milliseconds pieceGap();

    // Counts one loader line; true when this one is to be refused.
    bool refuseLine();
    void refuseNext() { refuseNext_ = true; }
    // True once after refuseNext(): the next message answered with ACK or NAK gets NAK.
    bool takeRefuseNext();
    void abortNext() { abortNext_ = true; }
    // True once after abortNext(), and always with abortDownloads: this download is aborted.
    bool takeAbortNext()
    {
        const bool a = abortNext_ || abortDownloads;
        abortNext_ = false;
        return a;
    }

private:
    TimePoint start_;
    TimePoint silentUntil_;
    bool silentForGood_ = false;
    int frames_ = 0;
    int lines_ = 0;
    bool refuseNext_ = false;
    bool abortNext_ = false;
    std::mt19937 random_;
};

} // namespace kx::sim
