#include "session/LineRetry.h"

namespace kx {

LineRetry::LineRetry(Clock& clock, std::function<bool()> mayTry, std::function<void()> tryOpen)
    : timer_(clock, static_cast<int>(RetryInterval.count())), mayTry_(std::move(mayTry)),
      tryOpen_(std::move(tryOpen))
{
    timer_.setOnTimer([this] { tick(); });
}

void LineRetry::lineLost()
{
    timer_.start();
}

void LineRetry::stop()
{
    timer_.stop();
    // An open of ours still under way is the user's from now on: its end is told.
    trying_ = false;
}

void LineRetry::opened(bool connected)
{
    trying_ = false;
    if (connected)
        timer_.stop();
}

void LineRetry::tick()
{
    // A try still under way, or a line someone else holds (the editor, the port settings, an
    // update), waits for the next tick.
    if (trying_ || !mayTry_())
        return;
    trying_ = true;
    tryOpen_();
}

} // namespace kx
