#include "editor/PageBuilder.h"

#include "widgets/AccessibleControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace kx::PageBuilder {

namespace {

void addRow(QFormLayout* form, const QString& caption, QWidget* control)
{
    auto* label = new QLabel(caption, form->parentWidget());
    nameControl(label, control->objectName() + QStringLiteral("Label"));
    label->setBuddy(control);
    form->addRow(label, control);
}

} // namespace

QGroupBox* group(QWidget* parent, const QString& title, const QString& name)
{
    auto* box = new QGroupBox(title, parent);
    nameControl(box, name);
    return box;
}

QFormLayout* formIn(QWidget* container)
{
    auto* form = new QFormLayout(container);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setVerticalSpacing(6);
    return form;
}

QComboBox* comboRow(QFormLayout* form, const QString& caption, const QString& name)
{
    auto* combo = new QComboBox(form->parentWidget());
    combo->setEditable(false);
    nameControl(combo, name);
    addRow(form, caption, combo);
    return combo;
}

QLineEdit* editRow(QFormLayout* form, const QString& caption, const QString& name)
{
    auto* edit = new QLineEdit(form->parentWidget());
    nameControl(edit, name);
    addRow(form, caption, edit);
    return edit;
}

QCheckBox* check(QWidget* parent, const QString& caption, const QString& name)
{
    auto* box = new QCheckBox(caption, parent);
    nameControl(box, name);
    return box;
}

QRadioButton* radio(QWidget* parent, const QString& caption, const QString& name)
{
    auto* button = new QRadioButton(caption, parent);
    nameControl(button, name);
    return button;
}

} // namespace kx::PageBuilder
