#pragma once

#include "link/Timer.h"

#include <chrono>
#include <functional>

namespace kx {

// A line that went away (the indicator switched off, a USB adapter pulled) is opened again by
// itself: every RetryInterval, while the port is not connected and nobody else holds the line,
// one quiet open is tried, until one succeeds or the user chooses the port himself. A port
// that the user's own open could not reach is not retried: he is told, and he chooses.
class LineRetry
{
public:
    static constexpr std::chrono::milliseconds RetryInterval{3000};

    // mayTry: the line is free for an open now (not connected, not opening, not lent out).
    // tryOpen: starts one open, which calls opened() when it ends.
    LineRetry(Clock& clock, std::function<bool()> mayTry, std::function<void()> tryOpen);

    // The line was lost: tries begin one interval from now.
    void lineLost();
    // The user opened the port, or the program is closing: no more tries.
    void stop();
    // One of our tries ended.
    void opened(bool connected);

    bool retrying() const { return timer_.enabled(); }
    // An open of ours is under way: its failure is no news to the user.
    bool trying() const { return trying_; }

private:
    void tick();

    Timer timer_;
    std::function<bool()> mayTry_;
    std::function<void()> tryOpen_;
    bool trying_ = false;
};

} // namespace kx
