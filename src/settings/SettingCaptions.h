#pragma once

#include <QString>

namespace kx {

// Where the parameter editor shows a setting: its page (the tab's caption) and its caption
// there ("COM1 / Baud": the group's title, then the row's label or the box's text). For the
// places a comparison is read where no editor is open: the command line, a report. A test
// holds these to the editor's own widgets.
struct SettingPlace
{
    QString page;
    QString caption;
};

// By section and key as a settings file and a comparison name them (letter case aside). A key
// the editor has no control for is shown under its section with the key as its caption.
SettingPlace settingPlace(const QString& section, const QString& key);

// The group and label the editor gives the control of a setting of the settings table, and
// its page; empty for a control name the table does not know.
SettingPlace controlPlace(const char* control);

} // namespace kx
