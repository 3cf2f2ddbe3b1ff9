#pragma once

#include "link/Timer.h"

#include <chrono>

namespace kx {

// What the loader transfer's next state-timer tick does.
enum class SendStep
{
    Idle,   // nothing to send
    Resend, // the last message again, after a NAK or a time-out
    Enter,  // the enter message
    Line,   // the current line of the image
    End     // the end message
};

// The bootstrap-loader transfer of the firmware update: it sends the image to the
// indicator's loader on a port of its own, one acknowledged message at a time. Its timers
// live here, stopped until an update starts them.
class BootstrapLoader
{
public:
    // The state machine's step.
    static constexpr std::chrono::milliseconds StateInterval{200};
    // Clears the loader port handler's busy mark that a nested wait left set.
    static constexpr std::chrono::milliseconds WatchdogInterval{1000};
    // The pause before the same image is sent again while the repeat is asked for.
    static constexpr std::chrono::milliseconds RetryInterval{2500};

    explicit BootstrapLoader(Clock& clock);

    SendStep sendStep() const { return step_; }
    const Timer& stateTimer() const { return StateTimer; }
    const Timer& watchdogTimer() const { return WatchdogTimer; }
    const Timer& retryTimer() const { return RetryTimer; }
    // Whether an update is under way: any of its timers runs.
    bool running() const;

private:
    Timer StateTimer;
    Timer WatchdogTimer;
    Timer RetryTimer;
    SendStep step_ = SendStep::Idle;
};

} // namespace kx
