#include "SimulatedIndicator.h"

namespace kx::test {

SimulatedIndicator::SimulatedIndicator(SteppedClock& clock, const Options& options)
    : faults(options.seed, sim::TimePoint(std::chrono::milliseconds(clock.nowMs()))),
      setup(options.outputs), clock_(clock)
{
    wire_.owner = this;
    faults.pace = options.paced;
    const sim::TimePoint start = now();
    scale_ = std::make_unique<sim::WeightModel>(12.5, 0, options.seed, start);
    line_ = std::make_unique<sim::Line>(wire_, log_, faults);
    sim::Indicator::Config config;
    config.frameMode = options.frameMode;
    indicator_ = std::make_unique<sim::Indicator>(config, *line_, log_, faults, *scale_, setup,
                                                  start);
    pump();
}

SimulatedIndicator::~SimulatedIndicator()
{
    if (wake_)
        clock_.cancelTimer(wake_);
}

sim::TimePoint SimulatedIndicator::now() const
{
    return sim::TimePoint(std::chrono::milliseconds(clock_.nowMs()));
}

void SimulatedIndicator::open(const QString& path, const LineSettings& settings)
{
    if (unplugged_)
        throw ChannelError(ChannelError::Kind::NoSuchDevice, path, QStringLiteral("no such device"));
    settings_ = settings;
    open_ = true;
}

QByteArray SimulatedIndicator::read(qint64 maxBytes)
{
    const QByteArray out = inbox_.left(maxBytes);
    inbox_.remove(0, out.size());
    return out;
}

void SimulatedIndicator::write(const QByteArray& bytes)
{
    if (refuseWrites || unplugged_ || !open_)
        throw ChannelError(ChannelError::Kind::Io, QStringLiteral("sim"),
                           QStringLiteral("write refused"));
    received += bytes;
    line_->received(bytes, now());
    pump();
}

void SimulatedIndicator::unplug(const QString& reason)
{
    unplugged_ = true;
    open_ = false;
    notifyLost(reason);
}

void SimulatedIndicator::inject(const QByteArray& bytes)
{
    line_->send(bytes, sim::Tx::Raw, now());
    pump();
}

qsizetype SimulatedIndicator::ToProgram::write(const QByteArray& bytes)
{
    // A closed or pulled port hears nothing; the indicator does not know.
    if (!owner->open_ || owner->muted_)
        return bytes.size();
    owner->inbox_ += bytes;
    owner->notifyReadable();
    return bytes.size();
}

std::chrono::nanoseconds SimulatedIndicator::ToProgram::characterTime() const
{
    const LineSettings& s = owner->settings_;
    if (s.baud <= 0)
        return {};
    const int bits = 1 + s.dataBits + (s.parity == Parity::None ? 0 : 1) + s.stopBits;
    return std::chrono::nanoseconds(qint64(bits) * 1000000000 / s.baud);
}

void SimulatedIndicator::pump()
{
    const sim::TimePoint t = now();
    const QByteArray arrived = line_->arrived(t);
    if (!arrived.isEmpty())
        indicator_->onBytes(arrived, t);
    indicator_->tick(t);
    line_->service(t);
    sim::TimePoint wake = indicator_->nextWake(t);
    if (const auto w = line_->nextWake(t))
        wake = std::min(wake, *w);
    if (wake_)
        clock_.cancelTimer(wake_);
    const qint64 delay = std::max<qint64>(
        1, std::chrono::ceil<std::chrono::milliseconds>(wake - t).count());
    wake_ = clock_.startTimer(delay, [this] {
        wake_ = 0;
        pump();
    });
}

} // namespace kx::test
