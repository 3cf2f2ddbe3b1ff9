#pragma once

#include "settings/SettingsRecord.h"

#include <QList>
#include <QString>

namespace kx {

// One setting that differs between two setups, named by section and key, with both values as
// the editor shows them (list texts, not indexes).
struct SettingDifference
{
    QString section;
    QString key;
    QString first;
    QString second;
};

// Which settings a comparison looks at.
struct DiffScope
{
    // Only what a transfer with the indicator carries: not the page size, not the place of a
    // ticket field hidden on both sides, not a wrapper's character code while its token is not
    // the user-defined one (the record then carries the token's own character).
    bool carriedOnly = false;
    // With carriedOnly: whether the indicator has the second custom output.
    bool secondOutput = true;
};

// One setting a comparison looked at, equal or not.
struct ComparedSetting
{
    SettingDifference values;
    bool differs = false;
};

// Every setting a comparison of a and b looks at, in the order of diffSettings(): for a view
// that shows the equal ones beside those that differ.
QList<ComparedSetting> compareSettings(const SettingsRecord& a, const SettingsRecord& b,
                                       const DiffScope& scope = {});

// Every setting of the settings description that differs between a and b, in file order:
// the settings table, the ticket fields, then both custom outputs key by key.
QList<SettingDifference> diffSettings(const SettingsRecord& a, const SettingsRecord& b,
                                      const DiffScope& scope = {});

// How many settings of a diffSettings() of record against another it looks at (for a record
// that is one of the two sides).
int settingsCompared(const SettingsRecord& record, const DiffScope& scope = {});

// The value as the editor shows it: an index as its item's text (with the index when it is
// outside the list), a flag as "checked"/"not checked", text as it stands ("(empty)" for none).
QString shownValue(const SettingDesc& setting, const SettingsRecord& record);

} // namespace kx
