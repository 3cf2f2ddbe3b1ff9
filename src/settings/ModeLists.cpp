#include "settings/ModeLists.h"

#include "settings/SettingsSchema.h"

namespace kx::ModeLists {

namespace {

// The KX7400's modes are the option lists of its settings file, so the two can never drift.
QStringList printModes(const char* control)
{
    const SettingDesc* desc = findSetting(control);
    return desc ? optionTexts(desc->options) : QStringList();
}

} // namespace

QStringList kx7400Mode1()
{
    return printModes("PrintMode1");
}

QStringList kx7400Mode2()
{
    return printModes("PrintMode2");
}

QStringList kx7450Mode1()
{
    return kx7400Mode1();
}

QStringList kx7450Mode2()
{
    return kx7400Mode2();
}

} // namespace kx::ModeLists
