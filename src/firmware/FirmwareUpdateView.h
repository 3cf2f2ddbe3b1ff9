#pragma once

#include "firmware/UpdateOutcome.h"

#include <QString>

namespace kx {

// What the update window shows and asks.
class FirmwareUpdateView
{
public:
    virtual ~FirmwareUpdateView() = default;

    // The file-open dialog; an empty text when cancelled.
    virtual QString askUpdateFile(const QString& startFolder) = 0;
    // The "Update File Error" message box.
    virtual void refuseUpdateFile(const QString& text) = 0;
    // The panel, the wait panel or the log changed; now: paint before returning.
    virtual void updatePanelChanged(bool now) = 0;
    virtual void setBusyCursor(bool busy) = 0;
    // A run ended (once per run), also by Close or a refused file.
    virtual void updateEnded(const UpdateEnd& end) { (void)end; }
};

} // namespace kx
