#include "session/UpdateHandOver.h"

namespace kx {

void UpdateHandOver::takeLineForUpdate()
{
    holdsLine_ = true;
    // An open still waiting would open the device the loader port is about to take.
    link_.abandonOpen();
    poll_.pollTimer().stop();
    link_.close();
}

void UpdateHandOver::giveLineBack()
{
    holdsLine_ = false;
    face_.setWeighing(true);
    // Polling comes back once the port has been opened again, or has failed to.
    link_.OpenComPort([this](bool) {
        poll_.restart();
        poll_.pollTimer().start();
    });
}

} // namespace kx
