#include "firmware/BootstrapLoader.h"

namespace kx {

BootstrapLoader::BootstrapLoader(Clock& clock)
    : StateTimer(clock, StateInterval.count()), WatchdogTimer(clock, WatchdogInterval.count()),
      RetryTimer(clock, RetryInterval.count())
{
}

bool BootstrapLoader::running() const
{
    return StateTimer.enabled() || WatchdogTimer.enabled() || RetryTimer.enabled();
}

} // namespace kx
