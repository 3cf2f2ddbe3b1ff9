#pragma once

#include "link/DebugMonitor.h"
#include "transfer/TransferView.h"

namespace kx {

// The parameter editor as the line session sees it: opened from the face, with the
// transfer's status panel and clock box, and the field-bus debug line. The main window
// implements it with the real editor; tests with a recorder.
class EditorView : public TransferView
{
public:
    // Shows the parameter editor modally; returns when it is closed.
    virtual void showParameterEditor() = 0;
    // The debug monitor's last answer, or its "no response" text.
    virtual void showDebugLine(const QString& line) = 0;
    // The debug monitor started or stopped: its button's caption follows.
    virtual void showDebugRunning(bool running) = 0;
    // A debug monitor run ended, once per run.
    virtual void debugEnded(const DebugResult& result) { (void)result; }
};

} // namespace kx
