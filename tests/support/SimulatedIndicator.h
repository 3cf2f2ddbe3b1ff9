#pragma once

#include "link/SerialDevice.h"
#include "link/SteppedClock.h"
#include "sim/Faults.h"
#include "sim/Indicator.h"
#include "sim/Line.h"
#include "sim/SetupStore.h"
#include "sim/SimLog.h"
#include "sim/WeightModel.h"

#include <memory>

namespace kx::test {

// The simulator's indicator as the device under a channel, in-process and on the stepped
// clock: the real engines talk to the real simulated indicator with no pty and no wall time.
// Its faults, its setup and everything the program sent are open to the test.
class SimulatedIndicator final : public SerialDevice
{
public:
    struct Options
    {
        sim::Indicator::FrameMode frameMode = sim::Indicator::FrameMode::Demand;
        int outputs = 1;
        // Bytes take their time on the wire at the line's settings, both ways.
        bool paced = true;
        quint32 seed = 7;
    };

    explicit SimulatedIndicator(SteppedClock& clock) : SimulatedIndicator(clock, Options()) {}
    SimulatedIndicator(SteppedClock& clock, const Options& options);
    ~SimulatedIndicator() override;

    // SerialDevice
    void open(const QString& path, const LineSettings& settings) override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void applySettings(const LineSettings& settings) override { settings_ = settings; }
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return 0; }
    void clearInput() override { inbox_.clear(); }
    void clearOutput() override {}

    // The adapter is pulled out: the channel hears it, and the device cannot be opened until
    // it is plugged in again.
    void unplug(const QString& reason = QStringLiteral("unplugged"));
    void replug() { unplugged_ = false; }
    // The port refuses every write from now on (a driver that has gone bad).
    bool refuseWrites = false;
    // Every byte the program sent, in order; takeReceived() hands over what came since.
    QByteArray received;
    QByteArray takeReceived() { return std::exchange(received, {}); }
    // The indicator says nothing for ms from now (negative: for good, 0: talks again); what
    // it was still sending is cut off too.
    void silence(qint64 ms)
    {
        faults.silenceFor(ms, now());
        muted_ = ms != 0;
    }
    // Bytes put on the line as the indicator would send them, e.g. a late reply.
    void inject(const QByteArray& bytes);

    sim::Faults faults;
    sim::SetupStore setup;

private:
    // The indicator's end of the wire: what it sends reaches the program's port.
    struct ToProgram final : sim::Wire
    {
        SimulatedIndicator* owner = nullptr;
        qsizetype write(const QByteArray& bytes) override;
        std::chrono::nanoseconds characterTime() const override;
    };

    sim::TimePoint now() const;
    // Lets the indicator act on what has come and on the time, then sleeps until it next can.
    void pump();

    SteppedClock& clock_;
    ToProgram wire_;
    sim::SimLog log_;
    std::unique_ptr<sim::WeightModel> scale_;
    std::unique_ptr<sim::Line> line_;
    std::unique_ptr<sim::Indicator> indicator_;
    LineSettings settings_;
    QByteArray inbox_;
    bool open_ = false;
    bool unplugged_ = false;
    bool muted_ = false;
    Clock::TimerId wake_ = 0;
};

} // namespace kx::test
