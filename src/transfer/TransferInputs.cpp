#include "transfer/TransferInputs.h"

#include "settings/SettingsRecord.h"
#include "settings/SettingsSchema.h"
#include "transfer/RecordLayout.h"

namespace kx {
namespace {

QByteArray shownValue(const SettingsRecord& shown, const char* section, const char* key)
{
    const SettingDesc* d = findSettingByKey(section, key);
    return d ? shown.value(d->control) : QByteArray();
}

} // namespace

TransferInputs transferInputsOf(const SettingsRecord& shown, CheckedSettings settings)
{
    TransferInputs in;
    in.settings = std::move(settings);
    for (const FieldLayout& f : records::configuration().fields)
        if (f.send == SendAs::UnitBox && shownValue(shown, section::Configuration, f.key) == "1")
            in.tickedUnits << f.key;
    in.fieldBus = shownValue(shown, section::FieldBus, "Network Type") != "1";
    UploadContext& u = in.upload;
    u.setpoint1 = shownValue(shown, section::FourTo20mA, "Setpoint1");
    u.setpoint2 = shownValue(shown, section::FourTo20mA, "Setpoint2");
    u.height = shownValue(shown, section::PageSize, "Height");
    u.width = shownValue(shown, section::PageSize, "Width");
    u.top = shownValue(shown, section::PageSize, "Top Margin");
    u.left = shownValue(shown, section::PageSize, "Left Margin");
    u.bottom = shownValue(shown, section::PageSize, "Bottom Margin");
    u.right = shownValue(shown, section::PageSize, "Right Margin");
    return in;
}

} // namespace kx
