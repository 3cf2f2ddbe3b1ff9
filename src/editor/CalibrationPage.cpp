#include "editor/CalibrationPage.h"

#include "editor/PageBuilder.h"
#include "settings/SettingsSchema.h"
#include "widgets/AccessibleControl.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace kx {

using namespace PageBuilder;

CalibrationPage::CalibrationPage(QWidget* parent) : QWidget(parent)
{
    auto* columns = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    QGroupBox* box =
        group(this, QStringLiteral(" Calibration "), QStringLiteral("CalibrationGroup"));
    QFormLayout* form = formIn(box);
    ScaleCapacity =
        editRow(form, QStringLiteral("Scale Capacity"), QStringLiteral("ScaleCapacity"));
    PrimaryUnits = comboRow(form, QStringLiteral("Primary Units"), QStringLiteral("PrimaryUnits"));
    AZTracking = comboRow(form, QStringLiteral("Auto Zero Tracking"), QStringLiteral("AZTracking"));
    MotionBand = comboRow(form, QStringLiteral("Motion Band"), QStringLiteral("MotionBand"));
    DivisionSize = comboRow(form, QStringLiteral("Division Size"), QStringLiteral("DivisionSize"));
    Filter = comboRow(form, QStringLiteral("Digital Filter"), QStringLiteral("Filter"));
    AutoTareMode = comboRow(form, QStringLiteral("Auto Tare"), QStringLiteral("AutoTareMode"));
    left->addWidget(box);
    left->addStretch();
    columns->addLayout(left, 1);
    columns->addStretch(1);

    lbList = hiddenList(QStringLiteral("lbList"));
    kgList = hiddenList(QStringLiteral("kgList"));
    ozList = hiddenList(QStringLiteral("ozList"));
    gmList = hiddenList(QStringLiteral("gmList"));
    for (int unit = 0; unit < 4; ++unit)
        divisionListFor(unit)->addItems(optionTexts(divisionList(unit)));
}

QListWidget* CalibrationPage::hiddenList(const QString& name)
{
    auto* list = new QListWidget(this);
    nameControl(list, name);
    list->setAccessibleName(name);
    list->hide();
    return list;
}

QListWidget* CalibrationPage::divisionListFor(int primaryUnit) const
{
    switch (primaryUnit) {
    case 1:
        return kgList;
    case 2:
        return ozList;
    case 3:
        return gmList;
    default:
        return lbList;
    }
}

} // namespace kx
