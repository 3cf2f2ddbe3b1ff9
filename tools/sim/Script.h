#pragma once

#include "Faults.h"
#include "Indicator.h"
#include "Line.h"
#include "SetupStore.h"
#include "WeightModel.h"

#include <QByteArray>

namespace kx::sim {

// The commands a test or a demonstration types on standard input (see scriptHelp()).
class Script
{
public:
    Script(Indicator& indicator, WeightModel& scale, Faults& faults, SetupStore& setup, Line& line)
        : indicator_(indicator), scale_(scale), faults_(faults), setup_(setup), line_(line)
    {
    }

    // Runs one command line and returns its one-line answer. quit is set by "quit".
    QByteArray run(const QByteArray& command, TimePoint now, bool* quit);

private:
    Indicator& indicator_;
    WeightModel& scale_;
    Faults& faults_;
    SetupStore& setup_;
    Line& line_;
};

} // namespace kx::sim
