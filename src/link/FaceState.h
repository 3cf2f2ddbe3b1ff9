#pragma once

#include <QString>

namespace kx {

// Everything the indicator's face shows, as the face model decides it.
struct FaceState
{
    QString Weight;
    // The tare entry laid over the weight: hidden, typing (visible, enabled) or sent
    // (visible, disabled until the next frame).
    QString TareWt;
    bool TareWtVisible = false;
    bool TareWtEnabled = true;
    QString ConnectedLabel = QStringLiteral("Not Connected...");
    bool CommandSentVisible = false;
    bool NetArrow = false;
    bool lbUnitsArrow = false;
    bool gUnitsArrow = false;
    bool kgUnitsArrow = false;
    bool ozUnitsArrow = false;
    // No frame field drives these two; they stay dark.
    bool BatteryArrow = false;
    bool CenterOfZero = false;
    bool ShuttingDownPanel = false;
    bool WeighPanelEnabled = true;
    bool ProgressPanelVisible = false;
    bool CloseUpdateVisible = false;
    // What the protocol log is doing; empty while it is off.
    QString LogStatus;
    // Why the line is not connected and what is being done about it; empty while connected.
    QString LineStatus;
};

} // namespace kx
