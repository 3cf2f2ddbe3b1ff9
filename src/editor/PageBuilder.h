#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace kx {

// Small makers for the editor's pages: every control comes out named (see nameControl),
// and every row caption is a label whose buddy is its control.
namespace PageBuilder {

QGroupBox* group(QWidget* parent, const QString& title, const QString& name);
QFormLayout* formIn(QWidget* container);

// A drop-down list that accepts only its items.
QComboBox* comboRow(QFormLayout* form, const QString& caption, const QString& name);
QLineEdit* editRow(QFormLayout* form, const QString& caption, const QString& name);

QCheckBox* check(QWidget* parent, const QString& caption, const QString& name);
QRadioButton* radio(QWidget* parent, const QString& caption, const QString& name);

} // namespace PageBuilder
} // namespace kx
