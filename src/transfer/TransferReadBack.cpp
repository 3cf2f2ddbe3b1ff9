// The read-back after an acknowledged download: a second upload, never saved, compared
// setting by setting with what the download carried.
#include "transfer/TransferControl.h"

#include "settings/IniDocument.h"
#include "settings/SettingsDiff.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"

#include <utility>

namespace kx {

void TransferControl::downloadAcknowledged()
{
    if (!port_.verify) {
        append(QStringLiteral("Not verified: the setup was not read back."));
        end(TransferEnding::DownloadComplete);
        return;
    }
    // The indicator has left PC mode after the download: the read-back is a whole upload of
    // its own, entry handshake and all, whose text is compared and never saved as a file.
    append(QStringLiteral("Reading the setup back to verify it..."));
    verifying_ = true;
    dataSent_ = false;
    state_ = TransferState::Idle;
    beginEntryWait(TransferDirection::Upload, false);
}

void TransferControl::verifyRead(const QList<QByteArray>& lines)
{
    // Both sides as the editor reads them. The few values a download takes from the editor's
    // controls instead of the file are taken from there on the sent side too.
    SettingsRecord sent = readSettings(IniDocument::fromBytes(sentText_));
    const TransferInputs inputs = view_.transferInputs();
    for (const SettingDesc& d : settingsTable()) {
        const QByteArray key(d.key);
        if (QByteArrayView(d.section) == QByteArrayView(section::Configuration)
            && key.endsWith(" Units") && d.kind == SettingKind::Flag)
            sent.setValue(d.control, inputs.tickedUnits.contains(key) ? "1" : "0");
    }
    if (const SettingDesc* network = findSettingByKey(section::FieldBus, "Network Type"))
        sent.setValue(network->control, inputs.fieldBus ? "0" : "1");
    QByteArray heldText;
    for (const QByteArray& line : lines)
        heldText += line + "\r\n";
    const SettingsRecord held = readSettings(IniDocument::fromBytes(heldText));
    DiffScope scope;
    scope.carriedOnly = true;
    scope.secondOutput = port_.secondOutput;
    const QList<SettingDifference> diffs = diffSettings(sent, held, scope);
    compared_ = settingsCompared(sent, scope);
    differences_.clear();
    for (const SettingDifference& d : diffs)
        differences_ << QStringLiteral("%1 / %2: sent %3, holds %4")
                            .arg(d.section, d.key, d.first, d.second);
    verifying_ = false;
    if (differences_.isEmpty()) {
        append(QStringLiteral("Verified: the KX7400 holds all %1 settings sent.").arg(compared_));
        end(TransferEnding::DownloadVerified);
        return;
    }
    append(QStringLiteral("The KX7400 does not hold %1 of the %2 settings sent:")
               .arg(differences_.size())
               .arg(compared_));
    for (const QString& line : std::as_const(differences_))
        append(line);
    end(TransferEnding::VerifyDiffers);
}

} // namespace kx
