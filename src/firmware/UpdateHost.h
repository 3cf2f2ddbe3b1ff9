#pragma once

#include "firmware/UpdateOutcome.h"
#include "link/SerialChannel.h"

#include <QString>

namespace kx {

// The line as the firmware update uses it: the update takes the link by closing the
// main port and gives it back through the normal open.
class UpdateHost
{
public:
    virtual ~UpdateHost() = default;

    // Stops polling and closes the main port (failures ignored).
    virtual void takeLineForUpdate() = 0;
    // The main port, whose last applied settings the loader port copies.
    virtual const SerialChannel& mainPort() const = 0;
    // The device a port number stands for.
    virtual QString deviceFor(int port) const = 0;
    // "------" in the weight display and the face stops reacting.
    virtual void disableFace() = 0;
    // Opens the main port again with the port settings, enables the face, starts polling.
    virtual void giveLineBack() = 0;
    // The progress panel over the face, and whether its Close button is shown.
    virtual void showUpdatePanel(bool shown, bool closeShown) = 0;
    virtual bool shuttingDown() const = 0;
    // A run ended after at least one line of the image went out: a write to the indicator,
    // whatever came of it. file is the update file, sha256 its bytes' SHA-256 in hex.
    virtual void updateWrote(const UpdateEnd& end, const QString& file, const QByteArray& sha256)
    {
        (void)end;
        (void)file;
        (void)sha256;
    }
};

} // namespace kx
