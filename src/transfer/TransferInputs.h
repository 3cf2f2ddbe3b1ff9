#pragma once

#include "settings/SettingsValueCheck.h"
#include "transfer/UploadRecords.h"

#include <QByteArray>
#include <QSet>
#include <QString>

namespace kx {

struct SettingsRecord;

// What a transfer takes from the editor: the open settings file and the values its controls
// give in place of the file.
struct TransferInputs
{
    // The settings a download sends, as read and checked before the line was touched; empty
    // when none was checked.
    CheckedSettings settings;
    // The unit keys ("lb Units", ...) whose check box is ticked.
    QSet<QByteArray> tickedUnits;
    // The network choice is "Field Bus" (else Ethernet).
    bool fieldBus = false;
    // The editor offers the second custom output (its COM selector is shown): a download
    // carries the second output's records.
    bool secondOutput = false;
    // The set points and the page size an upload keeps from the editor.
    UploadContext upload;
};

// The inputs as the editor's record shows them, by the settings description's controls.
TransferInputs transferInputsOf(const SettingsRecord& shown, CheckedSettings settings = {});

} // namespace kx
