#pragma once

#include "Faults.h"
#include "Line.h"
#include "Loader.h"
#include "SetupStore.h"
#include "SimLog.h"
#include "SimTime.h"
#include "WeightModel.h"

#include <QByteArray>
#include <optional>

namespace kx::sim {

// The indicator's side of every exchange on the line: the front panel with its weight
// frames and keys, the debug line, the PC-mode settings transfer and the bootstrap loader.
// It reacts to bytes as they arrive and to the passing of time; all it says goes through
// the line.
class Indicator
{
public:
    enum class FrameMode
    {
        Continuous,
        Demand
    };

    struct Config
    {
        FrameMode frameMode = FrameMode::Continuous;
        double rateHz = 10;
        milliseconds reload{5000};
        milliseconds pcTimeout{3000};
    };

    Indicator(const Config& config, Line& line, SimLog& log, Faults& faults, WeightModel& scale,
              SetupStore& setup, TimePoint now);

    void onBytes(const QByteArray& bytes, TimePoint now);
    void tick(TimePoint now);
    // The next moment tick() has work to do.
    TimePoint nextWake(TimePoint now) const;

    void setFrameMode(FrameMode mode, TimePoint now);
    FrameMode frameMode() const { return config_.frameMode; }
    bool setRate(double hz);
    // Leaves PC mode or the loader at once, as a power cycle would.
    void reset(TimePoint now);
    // One line describing the state, for the script's "state" command.
    QByteArray describe(TimePoint now);

    // Quiet time after the loader's end message, and the limits of the loader's patience.
    static constexpr milliseconds LoaderStale{500};
    static constexpr milliseconds LoaderIdle{10000};
    static constexpr milliseconds TareStale{2000};
    // Enough for any download an indicator could hold; beyond it the data is refused.
    static constexpr int MaxDownload = 16 * 1024;

private:
    enum class Mode
    {
        Panel,        // weighing: frames, keys, debug line
        PcCommand,    // "pcmode" acknowledged; waiting for 'u' or 'd'
        PcUploadSent, // upload sent; waiting for the program's ACK or NAK
        PcAwaitStx,   // "ready" sent; waiting for the download's STX
        PcCollect,    // taking download records until EOT
        Loader,       // bootstrap loader
        Reloading,    // restarting after a firmware load: deaf and mute
    };

    void panelByte(char c, TimePoint now);
    void pcByte(char c, TimePoint now);
    void loaderByte(char c, TimePoint now);
    bool entryByte(char c, TimePoint now);
    bool tareByte(char c, TimePoint now);
    void loaderMessage(const loader::Message& m, TimePoint now);
    void downloadComplete(TimePoint now);

    void sendFrame(Tx kind, TimePoint now);
    void reply(const QByteArray& bytes, TimePoint now);
    // ACK or NAK, unless a script asked to refuse the next message. Returns whether it was ACK.
    bool answer(bool accept, const QString& what, TimePoint now);
    void enter(Mode mode, TimePoint now);
    void leavePcMode(const QString& why, TimePoint now);
    milliseconds framePeriod() const;

    Config config_;
    Line& line_;
    SimLog& log_;
    Faults& faults_;
    WeightModel& scale_;
    SetupStore& setup_;

    Mode mode_ = Mode::Panel;
    TimePoint lastActivity_;
    TimePoint nextFrame_;
    TimePoint reloadEnd_;
    int pcmodeMatched_ = 0;
    QByteArray enterMatched_;
    // The last loader line taken, to tell a repeat from a new line.
    QByteArray lastLoaderLine_;
    std::optional<QByteArray> tare_;
    TimePoint tareStarted_;
    QByteArray download_;
    bool downloadOverflow_ = false;
    loader::Collector collector_;
    int debugSeq_ = 0;
};

} // namespace kx::sim
