// The firmware update's hand-over: the update takes the link by stopping the poll cycle and
// closing the main port, and gives it back through the normal open.
#include "link/FrontPanel.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHandOver, "kx.link.handover", QtInfoMsg)

namespace kx {

void FrontPanel::takeLineForUpdate()
{
    UpdateHoldsLine = true;
    // An open still waiting would open the device the loader port is about to take.
    abandonOpen();
    poll_.pollTimer().stop();
    SerialChannel& port = *ComPort_;
    if (!port.IsOpen())
        return;
    try {
        port.FlushInBuffer();
        port.SetOpen(false);
    } catch (const ChannelError& e) {
        qCWarning(lcHandOver) << "main port close:" << e.describe();
    }
    Connected = false;
}

QString FrontPanel::deviceFor(int port) const
{
    return port_.mappedDevice(port);
}

void FrontPanel::disableFace()
{
    face_.Weight = QStringLiteral("------");
    face_.WeighPanelEnabled = false;
    changed();
}

void FrontPanel::giveLineBack()
{
    UpdateHoldsLine = false;
    face_.WeighPanelEnabled = true;
    changed();
    // Polling comes back once the port has been opened again, or has failed to.
    OpenComPort([this](bool) {
        poll_.restart();
        poll_.pollTimer().start();
    });
}

void FrontPanel::showUpdatePanel(bool shown, bool closeShown)
{
    face_.ProgressPanelVisible = shown;
    face_.CloseUpdateVisible = shown && closeShown;
    changed();
}

} // namespace kx
