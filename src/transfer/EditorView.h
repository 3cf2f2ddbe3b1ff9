#pragma once

#include "link/DebugMonitor.h"
#include "transfer/TransferInputs.h"
#include "transfer/TransferOutcome.h"

#include <QString>

namespace kx {

// The parameter editor as the link engines see it: opened from the face, with the
// transfer's status panel, its clock box and the field-bus debug line. The main window
// implements it with the real editor; tests with a recorder.
class EditorView
{
public:
    virtual ~EditorView() = default;

    // Shows the parameter editor modally; returns when it is closed.
    virtual void showParameterEditor() = 0;
    // One line into the transfer status panel. open: clear it, show it with "Cancel";
    // finish: its button reads "OK"; replaceLast: the line takes the last one's place.
    virtual void ShowTransferStatus(const QString& text, bool open, bool finish,
                                    bool replaceLast) = 0;
    // The editor's clock box, refreshed on every tick of the editor timer.
    virtual void refreshEditorClock() = 0;
    // The debug monitor's last answer, or its "no response" text.
    virtual void showDebugLine(const QString& line) = 0;
    // The debug monitor started or stopped: its button's caption follows.
    virtual void showDebugRunning(bool running) = 0;
    // The editor's side of a transfer, read when it starts.
    virtual TransferInputs transferInputs() = 0;
    // A transfer run ended, once per run, after its closing status line.
    virtual void transferEnded(const TransferResult& result) { (void)result; }
    // A debug monitor run ended, once per run.
    virtual void debugEnded(const DebugResult& result) { (void)result; }
};

} // namespace kx
