#include "settings/SettingsRecord.h"

#include "settings/IniDocument.h"
#include "settings/OutputPresets.h"

namespace kx {

int SettingsRecord::index(const QByteArray& control) const
{
    return IniDocument::parseInteger(value(control)).value_or(-1);
}

int SettingsRecord::itemIndex(const QByteArray& control) const
{
    const SettingDesc* desc = findSetting(control);
    if (!desc)
        return -1;
    const QByteArray text = value(control);
    const auto options = optionsFor(*desc, index("PrimaryUnits"));
    for (size_t i = 0; i < options.size(); ++i)
        if (text == options[i])
            return static_cast<int>(i);
    return -1;
}

namespace {

// A record with every setting and ticket field taken from one column of the tables: the
// default when missing or the new-record value.
SettingsRecord recordFromTables(const char* SettingDesc::*value, int TicketFieldDesc::*visible,
                                int TicketFieldDesc::*row, int TicketFieldDesc::*col)
{
    SettingsRecord r;
    for (const SettingDesc& d : settingsTable())
        r.setValue(d.control, d.*value);
    const auto fields = ticketFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const TicketFieldDesc& f = fields[i];
        r.ticket[i] = {f.visibleTexts[static_cast<size_t>(f.*visible)], QByteArray::number(f.*row),
                       QByteArray::number(f.*col)};
    }
    return r;
}

} // namespace

SettingsRecord defaultSettingsRecord()
{
    return recordFromTables(&SettingDesc::missingDefault, &TicketFieldDesc::missingVisible,
                            &TicketFieldDesc::missingRow, &TicketFieldDesc::missingCol);
}

SettingsRecord newSettingsRecord()
{
    SettingsRecord r = recordFromTables(&SettingDesc::newValue, &TicketFieldDesc::newVisible,
                                        &TicketFieldDesc::newRow, &TicketFieldDesc::newCol);
    // A fresh editor has every list at its first item when the preset is laid over it; the
    // calibration choices the preset's decimals follow are the new record's own.
    const OutputDefinition morvell = applyPreset(
        blankDefinition(), preset::Morvell, r.index("PrimaryUnits"), r.itemIndex("DivisionSize"));
    r.tempCom1 = morvell;
    r.tempCom2 = morvell;
    return r;
}

} // namespace kx
