#pragma once

#include "transfer/TransferInputs.h"
#include "transfer/TransferOutcome.h"

#include <QString>

namespace kx {

// What the settings transfer shows and reads: the status panel, the editor's clock box and
// the editor's side of a transfer. The parameter editor implements it; kxlink-cli and tests
// with a recorder.
class TransferView
{
public:
    virtual ~TransferView() = default;

    // One line into the transfer status panel. open: clear it, show it with "Cancel";
    // finish: its button reads "OK"; replaceLast: the line takes the last one's place.
    virtual void ShowTransferStatus(const QString& text, bool open, bool finish,
                                    bool replaceLast) = 0;
    // The editor's clock box, refreshed on every tick of the editor timer.
    virtual void refreshEditorClock() = 0;
    // The editor's side of a transfer, read when it starts.
    virtual TransferInputs transferInputs() = 0;
    // A transfer run ended, once per run, after its closing status line.
    virtual void transferEnded(const TransferResult& result) { (void)result; }
};

} // namespace kx
