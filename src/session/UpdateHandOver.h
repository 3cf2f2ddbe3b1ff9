#pragma once

#include "firmware/UpdateHost.h"
#include "link/FaceModel.h"
#include "link/MainLink.h"
#include "link/PollCycle.h"
#include "link/PortSettings.h"

#include <functional>

namespace kx {

// The firmware update's hand-over: the update takes the line by stopping the poll cycle and
// closing the main port, and gives it back through the normal open. From the take to the
// give-back the loader port is the only handle on the line.
class UpdateHandOver : public UpdateHost
{
public:
    UpdateHandOver(MainLink& link, PollCycle& poll, FaceModel& face, const PortSettings& port)
        : link_(link), poll_(poll), face_(face), port_(port)
    {
    }

    bool holdsLine() const { return holdsLine_; }

    void takeLineForUpdate() override;
    const SerialChannel& mainPort() const override { return link_.ComPort(); }
    QString deviceFor(int port) const override { return port_.mappedDevice(port); }
    void disableFace() override { face_.setWeighing(false); }
    void giveLineBack() override;
    void showUpdatePanel(bool shown, bool closeShown) override
    {
        face_.showUpdatePanel(shown, closeShown);
    }
    bool shuttingDown() const override { return face_.state().ShuttingDownPanel; }
    void updateWrote(const UpdateEnd& end, const QString& file, const QByteArray& sha256) override
    {
        if (onWrote)
            onWrote(end, file, sha256);
    }
    std::function<void(const UpdateEnd&, const QString&, const QByteArray&)> onWrote;

private:
    MainLink& link_;
    PollCycle& poll_;
    FaceModel& face_;
    const PortSettings& port_;
    bool holdsLine_ = false;
};

} // namespace kx
