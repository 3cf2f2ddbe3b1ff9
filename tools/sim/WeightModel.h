#pragma once

#include "SimTime.h"

#include <QByteArray>
#include <random>

namespace kx::sim {

enum class Units
{
    LB,
    KG,
    OZ,
    G
};

// What the indicator shows at one moment, in the units it shows.
struct Reading
{
    Units units = Units::LB;
    double gross = 0;
    double tare = 0;
    double net = 0;
    bool showNet = false;
    bool stable = false;
    bool overload = false;

    double shown() const { return showNet ? net : gross; }
};

// The scale behind the indicator: a load that moves toward its target like a platform
// that rocks and settles, with the indicator's zero, tare, units and gross/net state on top.
// Loads are kept in pounds; everything shown is converted and rounded to the division of
// the units on show.
class WeightModel
{
public:
    WeightModel(double startLb, double loadEverySec, quint32 seed, TimePoint now);

    Reading reading(TimePoint now);

    // The front-panel keys.
    void cycleUnits();
    void zero(TimePoint now);
    void toggleNet();
    void autoTare(TimePoint now);
    // A tare typed as text in the units on show; false (nothing changed) when not a number.
    bool setTare(const QByteArray& text, TimePoint now);

    // Scripted control. A scripted weight stops the random loads.
    void setGross(double valueInUnits, TimePoint now);
    void settleNow(TimePoint now);
    void keepMoving(bool moving, TimePoint now);
    void setUnits(Units units) { units_ = units; }
    void setRandomLoads(bool on, TimePoint now);
    // A slow creep of the reading, in the units on show per minute, and a random scatter of
    // up to this many divisions either way on every reading (the stable mark is unaffected).
    void setDrift(double unitsPerMinute) { driftPerMinute_ = unitsPerMinute; }
    void setJitter(double divisions) { jitterDivisions_ = divisions; }

    Units units() const { return units_; }

    static int decimals(Units units);
    static const char* name(Units units);
    static double toUnits(double lb, Units units);
    static double fromUnits(double value, Units units);

    static constexpr double CapacityLb = 5000.0;
    static constexpr double DefaultLoadEverySec = 8.0;

private:
    void advance(TimePoint now);
    void scheduleLoad(TimePoint now);
    double divisionLb() const;
    double round(double lb) const;

    Units units_ = Units::LB;
    double position_ = 0; // what the load cell reads, lb
    double velocity_ = 0;
    double target_ = 0;
    double zero_ = 0;
    double tare_ = 0;
    bool showNet_ = false;
    bool settled_ = false;
    bool hunting_ = false;
    double calmFor_ = 0; // seconds spent within half a division of the target
    double phase_ = 0;
    double drift_ = 0; // lb crept so far
    double driftPerMinute_ = 0;
    double jitterDivisions_ = 0;

    double loadEverySec_ = 0;
    bool randomLoads_ = false;
    TimePoint nextLoad_;
    TimePoint last_;
    std::mt19937 random_;
};

} // namespace kx::sim
