#include "WeightModel.h"

#include <cmath>

namespace kx::sim {

namespace {

constexpr double GramsPerLb = 453.59237;
constexpr double Pi = 3.14159265358979323846;
// A platform that swings at a little over one hertz: a load overshoots by about a tenth and
// settles within a division in a second or two.
constexpr double NaturalHz = 1.4;
constexpr double Damping = 0.6;
constexpr double Step = 0.005;        // integration step, seconds
constexpr double SettleSeconds = 0.3; // calm this long before the reading counts as stable
constexpr double HuntDivisions = 3.0; // amplitude of a load that will not settle

} // namespace

WeightModel::WeightModel(double startLb, double loadEverySec, quint32 seed, TimePoint now)
    : position_(startLb), target_(startLb), settled_(true), loadEverySec_(loadEverySec),
      randomLoads_(loadEverySec > 0), last_(now), random_(seed)
{
    scheduleLoad(now);
}

int WeightModel::decimals(Units units)
{
    switch (units) {
    case Units::LB:
    case Units::KG:
        return 2;
    case Units::OZ:
        return 1;
    case Units::G:
        break;
    }
    return 0;
}

const char* WeightModel::name(Units units)
{
    switch (units) {
    case Units::LB:
        return "LB";
    case Units::KG:
        return "KG";
    case Units::OZ:
        return "OZ";
    case Units::G:
        break;
    }
    return "G ";
}

double WeightModel::toUnits(double lb, Units units)
{
    switch (units) {
    case Units::LB:
        return lb;
    case Units::KG:
        return lb * GramsPerLb / 1000.0;
    case Units::OZ:
        return lb * 16.0;
    case Units::G:
        break;
    }
    return lb * GramsPerLb;
}

double WeightModel::fromUnits(double value, Units units)
{
    return value / toUnits(1.0, units);
}

double WeightModel::divisionLb() const
{
    return fromUnits(std::pow(10.0, -decimals(units_)), units_);
}

double WeightModel::round(double lb) const
{
    const double scale = std::pow(10.0, decimals(units_));
    const double r = std::round(toUnits(lb, units_) * scale) / scale;
    return r == 0.0 ? 0.0 : r; // never "-0.00"
}

void WeightModel::scheduleLoad(TimePoint now)
{
    std::uniform_real_distribution<double> spread(0.5, 1.5);
    const auto wait = std::chrono::duration<double>(loadEverySec_ * spread(random_));
    nextLoad_ = now + std::chrono::duration_cast<Duration>(wait);
}

void WeightModel::advance(TimePoint now)
{
    if (randomLoads_ && now >= nextLoad_) {
        // Alternate between an empty platform and something put on it.
        if (target_ - zero_ > 1.0) {
            target_ = zero_;
        } else {
            std::uniform_real_distribution<double> load(1.0, 300.0);
            target_ = zero_ + load(random_);
        }
        settled_ = false;
        scheduleLoad(now);
    }
    double dt = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    if (dt <= 0)
        return;
    phase_ += dt;
    // The load cell creeps (temperature, a settling platform) whatever the load does.
    drift_ += fromUnits(driftPerMinute_, units_) * dt / 60.0;
    if (settled_)
        return;
    // Long gaps (nobody asked for a while) need no detail: the swing is long over.
    if (dt > 5.0 && !hunting_) {
        position_ = target_;
        velocity_ = 0;
        settled_ = true;
        return;
    }
    const double w = 2 * Pi * NaturalHz;
    while (dt > 0) {
        const double h = std::min(dt, Step);
        const double accel = w * w * (target_ - position_) - 2 * Damping * w * velocity_;
        velocity_ += accel * h;
        position_ += velocity_ * h;
        dt -= h;
        const double half = divisionLb() / 2;
        if (std::abs(position_ - target_) < half && std::abs(velocity_) < half * 4)
            calmFor_ += h;
        else
            calmFor_ = 0;
        if (!hunting_ && calmFor_ >= SettleSeconds) {
            position_ = target_;
            velocity_ = 0;
            settled_ = true;
            return;
        }
    }
}

Reading WeightModel::reading(TimePoint now)
{
    advance(now);
    double cell = position_;
    if (hunting_)
        cell = target_ + HuntDivisions * divisionLb() * std::sin(2 * Pi * 0.7 * phase_);
    cell += drift_;
    if (jitterDivisions_ > 0) {
        std::uniform_real_distribution<double> noise(-jitterDivisions_, jitterDivisions_);
        cell += noise(random_) * divisionLb();
    }
    Reading r;
    r.units = units_;
    r.gross = round(cell - zero_);
    r.tare = round(tare_);
    r.net = round(cell - zero_ - tare_);
    r.showNet = showNet_;
    r.stable = settled_ && !hunting_;
    r.overload = cell - zero_ > CapacityLb * 1.05;
    return r;
}

void WeightModel::cycleUnits()
{
    switch (units_) {
    case Units::LB:
        units_ = Units::KG;
        break;
    case Units::KG:
        units_ = Units::OZ;
        break;
    case Units::OZ:
        units_ = Units::G;
        break;
    case Units::G:
        units_ = Units::LB;
        break;
    }
}

void WeightModel::zero(TimePoint now)
{
    advance(now);
    // The platform as it rests now becomes zero; a load still swinging zeroes where it
    // will settle, not where it happens to be.
    zero_ = (settled_ ? position_ : target_) + drift_;
}

void WeightModel::toggleNet()
{
    showNet_ = !showNet_;
}

void WeightModel::autoTare(TimePoint now)
{
    advance(now);
    tare_ = (settled_ ? position_ : target_) + drift_ - zero_;
    showNet_ = true;
}

bool WeightModel::setTare(const QByteArray& text, TimePoint)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    tare_ = fromUnits(value, units_);
    showNet_ = true;
    return true;
}

void WeightModel::setGross(double valueInUnits, TimePoint now)
{
    advance(now);
    randomLoads_ = false;
    target_ = zero_ + fromUnits(valueInUnits, units_);
    settled_ = false;
    calmFor_ = 0;
}

void WeightModel::settleNow(TimePoint now)
{
    advance(now);
    hunting_ = false;
    position_ = target_;
    velocity_ = 0;
    settled_ = true;
}

void WeightModel::keepMoving(bool moving, TimePoint now)
{
    advance(now);
    hunting_ = moving;
    if (moving)
        settled_ = false;
    calmFor_ = 0;
}

void WeightModel::setRandomLoads(bool on, TimePoint now)
{
    if (on && loadEverySec_ <= 0)
        loadEverySec_ = DefaultLoadEverySec;
    randomLoads_ = on;
    if (randomLoads_)
        scheduleLoad(now);
}

} // namespace kx::sim
