#pragma once

#include <QString>

namespace kx {

// What the front panel needs from the windows around it. The main window implements it with
// real dialogs; tests implement it with a recorder.
class FrontPanelHost
{
public:
    virtual ~FrontPanelHost() = default;

    // Shows the port settings dialog modally; returns when it is closed.
    virtual void showPortSettings() = 0;
    // A "PORT ERROR" message box; detail, when not empty, says which device and why.
    virtual void showPortError(const QString& text, const QString& detail) = 0;
    // The application's error box, for failures the user should see but that end nothing.
    virtual void showErrorBox(const QString& text) = 0;
    // The system's error sound, for refused keyboard input.
    virtual void beep() = 0;
    // Whether the parameter editor is on screen.
    virtual bool editorVisible() const = 0;
    // Shows the parameter editor modally; returns when it is closed.
    virtual void showParameterEditor() = 0;
    // F1: the about box, shown modally while polling goes on.
    virtual void showAbout() = 0;
    // F3: the firmware update.
    virtual void showFirmwareUpdate() = 0;
    // One line into the editor's transfer status panel; finish ends the transfer there.
    virtual void showTransferStatus(const QString& line, bool finish) = 0;
    // The editor's clock box, refreshed on every tick of the editor timer.
    virtual void refreshEditorClock() = 0;
    // Ends the event loop: the program is done.
    virtual void terminate() = 0;
};

} // namespace kx
