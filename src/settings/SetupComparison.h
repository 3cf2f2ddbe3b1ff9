#pragma once

#include "settings/SettingsDiff.h"
#include "settings/SettingsValueCheck.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kx {

// The editor's settings file against another setup (the indicator's, as just read, or a
// file): every setting compared with both values as the editor shows them, and for each one
// that differs whether it is chosen to go to the indicator. All that differ are chosen at
// first; equal ones are never chosen, there being nothing to send.
class SetupComparison
{
public:
    SetupComparison() = default;
    // editor: the editor's settings file as checked; other: the setup compared with it.
    SetupComparison(QByteArray editor, QByteArray other, const DiffScope& scope);

    const QList<ComparedSetting>& settings() const { return settings_; }
    int differing() const { return differing_; }
    bool chosen(int index) const { return chosen_.value(index, false); }
    // Choosing an equal setting changes nothing.
    void setChosen(int index, bool on);
    int chosenCount() const;
    QList<SettingDifference> chosenSettings() const;

    // The setup a partial download sends: the other setup with the chosen settings' lines
    // taken from the editor's file, checked as every download is. name: how the result is
    // named in messages and the logbook.
    SettingsFileCheck mergedSetup(const QString& name) const;

private:
    QByteArray editor_;
    QByteArray other_;
    QList<ComparedSetting> settings_;
    QList<bool> chosen_;
    int differing_ = 0;
};

// base with each named setting's line as from has it: its value written where base has the
// key (or after its section's last key), or the key taken out of base where from has none,
// so both read alike afterwards. Everything else of base stays as it stands.
QByteArray takeSettings(const QByteArray& base, const QByteArray& from,
                        const QList<SettingDifference>& settings);

} // namespace kx
