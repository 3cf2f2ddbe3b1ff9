#pragma once

#include "FrontPanelFixture.h"
#include "SimulatedIndicator.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace kx::test {

// A line session in DEMAND mode on the simulated indicator, its port open and polling
// started, on the stepped clock; Host records what the session asks of its windows.
template <typename Host = RecordingHost>
struct SimSessionFixture
{
    QTemporaryDir dir;
    SteppedClock clock{0};
    SimulatedIndicator* sim = nullptr;
    PortSettings port{dir.path()};
    Host host;
    std::unique_ptr<LineSession> panel;

    SimSessionFixture()
    {
        // The exchanges themselves; the backup before a write is for the tests about it.
        port.BackupBeforeWrite = false;
        auto dev = std::make_unique<SimulatedIndicator>(clock);
        sim = dev.get();
        panel = makeSession(clock, std::move(dev), port, host, 1);
        panel->OpenComPort();
        while (panel->opening())
            clock.advance(1);
        panel->FormActivate();
    }

    // Steps a millisecond at a time until done() holds; false when limitMs passed first.
    bool stepUntil(const std::function<bool()>& done, qint64 limitMs = 60000)
    {
        for (qint64 ms = 0; ms < limitMs; ++ms) {
            if (done())
                return true;
            clock.advance(1);
        }
        return done();
    }
};

} // namespace kx::test
