#pragma once

#include <QString>

namespace kx {

// The dialogs and system services the line session opens. The main window implements them
// with real dialogs; tests with a recorder.
class PanelDialogs
{
public:
    virtual ~PanelDialogs() = default;

    // Shows the port settings dialog modally; returns when it is closed.
    virtual void showPortSettings() = 0;
    // A "PORT ERROR" message box; detail, when not empty, says which device and why.
    virtual void showPortError(const QString& text, const QString& detail) = 0;
    // The system's error sound, for refused keyboard input.
    virtual void beep() = 0;
    // F1: the about box, shown modally while polling goes on.
    virtual void showAbout() = 0;
    // F3: the firmware update.
    virtual void showFirmwareUpdate() = 0;
    // A warning that ends nothing but must be read: a caption and a text.
    virtual void showWarning(const QString& caption, const QString& text) = 0;
    // Ends the event loop: the program is done.
    virtual void terminate() = 0;
};

} // namespace kx
