#include "settings/SetupComparison.h"

#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"

namespace kx {

SetupComparison::SetupComparison(QByteArray editor, QByteArray other, const DiffScope& scope)
    : editor_(std::move(editor)), other_(std::move(other))
{
    settings_ = compareSettings(readSettings(IniDocument::fromBytes(editor_)),
                                readSettings(IniDocument::fromBytes(other_)), scope);
    chosen_.reserve(settings_.size());
    for (const ComparedSetting& s : settings_) {
        chosen_.append(s.differs);
        differing_ += s.differs ? 1 : 0;
    }
}

void SetupComparison::setChosen(int index, bool on)
{
    if (index >= 0 && index < settings_.size() && settings_[index].differs)
        chosen_[index] = on;
}

int SetupComparison::chosenCount() const
{
    return int(chosen_.count(true));
}

QList<SettingDifference> SetupComparison::chosenSettings() const
{
    QList<SettingDifference> out;
    for (qsizetype i = 0; i < settings_.size(); ++i)
        if (chosen_[i])
            out.append(settings_[i].values);
    return out;
}

SettingsFileCheck SetupComparison::mergedSetup(const QString& name) const
{
    return checkSettingsText(takeSettings(other_, editor_, chosenSettings()), name);
}

QByteArray takeSettings(const QByteArray& base, const QByteArray& from,
                        const QList<SettingDifference>& settings)
{
    IniDocument out = IniDocument::fromBytes(base);
    const IniDocument source = IniDocument::fromBytes(from);
    for (const SettingDifference& s : settings) {
        const QByteArray section = s.section.toLatin1(), key = s.key.toLatin1();
        if (const auto value = source.value(section, key))
            out.writeString(section, key, *value);
        else
            out.eraseKey(section, key);
    }
    return out.toBytes();
}

} // namespace kx
