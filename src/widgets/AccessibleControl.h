#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

namespace kx {

// Gives a control its behaviour name as objectName and accessible description, and keeps
// its accessible name equal to what it shows (its current item, text or caption), so
// screen readers and GUI tests find it by name and read what the user sees.
void nameControl(QWidget* control, const QString& name);

// Changes a button's caption and the accessible name that mirrors it.
void setButtonCaption(QAbstractButton* button, const QString& caption);

// A caption without its shortcut marks: "Ne&w" reads "New", "&&" reads "&".
QString withoutMnemonic(const QString& caption);

} // namespace kx
