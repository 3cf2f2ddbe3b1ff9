#pragma once

namespace kx {

// Who has the main port. The receive dispatcher hands every notification to the owner and to
// nothing else. The firmware update is not among them: it takes the line away by closing
// the main port and works on a port of its own.
enum class LineOwner
{
    // The poll cycle and the weight display: whenever the parameter editor is closed.
    Polling,
    // The settings transfer: while the parameter editor is open.
    SettingsTransfer,
    // The field-bus debug monitor: from its start to its stop, inside the editor.
    DebugMonitor
};

} // namespace kx
