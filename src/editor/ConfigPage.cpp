#include "editor/ConfigPage.h"

#include "editor/PageBuilder.h"
#include "widgets/AccessibleControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kx {

using namespace PageBuilder;

ConfigPage::ConfigPage(QWidget* parent) : QWidget(parent)
{
    // Left: the display settings over the units; right: the two serial ports.
    auto* columns = new QHBoxLayout(this);
    columns->setSpacing(10);

    auto* left = new QVBoxLayout;
    left->addWidget(makeParams());
    auto* units = new QHBoxLayout;
    units->addWidget(makeUnits(), 2);
    units->addWidget(makeCustomUnits(), 3);
    left->addLayout(units);
    left->addStretch();

    auto* right = new QVBoxLayout;
    right->addWidget(makeCom(1));
    right->addWidget(makeCom(2));
    right->addStretch();

    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
}

QGroupBox* ConfigPage::makeParams()
{
    QGroupBox* box = group(this, QStringLiteral(" Params "), QStringLiteral("ParamsGroup"));
    QFormLayout* form = formIn(box);

    // The clock format and, beside it, the PC's clock shown in that format.
    TimeEdit = new QComboBox(box);
    nameControl(TimeEdit, QStringLiteral("TimeEdit"));
    TimeTicker = new QLineEdit(box);
    TimeTicker->setReadOnly(true);
    TimeTicker->setFocusPolicy(Qt::NoFocus);
    TimeTicker->setFixedWidth(76);
    nameControl(TimeTicker, QStringLiteral("TimeTicker"));
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(TimeEdit, 1);
    timeRow->addWidget(TimeTicker);
    auto* timeLabel = new QLabel(QStringLiteral("Time"), box);
    nameControl(timeLabel, QStringLiteral("TimeEditLabel"));
    timeLabel->setBuddy(TimeEdit);
    form->addRow(timeLabel, timeRow);

    DateEdit = editRow(form, QStringLiteral("Date"), QStringLiteral("DateEdit"));
    DateEdit->setReadOnly(true);
    DateEdit->setFocusPolicy(Qt::NoFocus);
    DisplayRate = comboRow(form, QStringLiteral("Display Rate"), QStringLiteral("DisplayRate"));
    ZeroRange = comboRow(form, QStringLiteral("Zero Range"), QStringLiteral("ZeroRange"));
    SleepMode = comboRow(form, QStringLiteral("Sleep Mode"), QStringLiteral("SleepMode"));
    BackLight = comboRow(form, QStringLiteral("Backlight"), QStringLiteral("BackLight"));
    TimeInSeconds =
        comboRow(form, QStringLiteral("Time in Seconds"), QStringLiteral("TimeInSeconds"));
    OperatingMode =
        comboRow(form, QStringLiteral("Operating Mode"), QStringLiteral("OperatingMode"));
    return box;
}

QGroupBox* ConfigPage::makeUnits()
{
    QGroupBox* box = group(this, QStringLiteral(" Units "), QStringLiteral("UnitsGroup"));
    auto* grid = new QGridLayout(box);
    RadioLB = check(box, QStringLiteral("lb"), QStringLiteral("RadioLB"));
    RadioOZ = check(box, QStringLiteral("oz"), QStringLiteral("RadioOZ"));
    RadioLBOZ = check(box, QStringLiteral("lb-oz"), QStringLiteral("RadioLBOZ"));
    RadioKG = check(box, QStringLiteral("kg"), QStringLiteral("RadioKG"));
    RadioGM = check(box, QStringLiteral("gm"), QStringLiteral("RadioGM"));
    RadioCustom = check(box, QStringLiteral("Custom"), QStringLiteral("RadioCustom"));
    grid->addWidget(RadioLB, 0, 0);
    grid->addWidget(RadioOZ, 1, 0);
    grid->addWidget(RadioLBOZ, 2, 0);
    grid->addWidget(RadioKG, 0, 1);
    grid->addWidget(RadioGM, 1, 1);
    grid->addWidget(RadioCustom, 2, 1);
    return box;
}

QGroupBox* ConfigPage::makeCustomUnits()
{
    CustomGroup =
        group(this, QStringLiteral(" Custom Units Details "), QStringLiteral("CustomGroup"));
    QFormLayout* form = formIn(CustomGroup);
    CustomName = editRow(form, QStringLiteral("Name"), QStringLiteral("CustomName"));
    CustomFactor = editRow(form, QStringLiteral("Factor"), QStringLiteral("CustomFactor"));
    CustomResolution =
        comboRow(form, QStringLiteral("Resolution"), QStringLiteral("CustomResolution"));
    return CustomGroup;
}

QGroupBox* ConfigPage::makeCom(int port)
{
    const QString n = QString::number(port);
    const QString com = QStringLiteral("Com") + n;
    const bool first = port == 1;
    const struct
    {
        const char* caption;
        QString name;
        QComboBox*& control;
    } rows[] = {
        {"Interface", QStringLiteral("Interface") + n, first ? Interface1 : Interface2},
        {"Print Mode", QStringLiteral("PrintMode") + n, first ? PrintMode1 : PrintMode2},
        {"Baud", com + QStringLiteral("Baud"), first ? Com1Baud : Com2Baud},
        {"Parity", com + QStringLiteral("Parity"), first ? Com1Parity : Com2Parity},
        {"Data Bits", com + QStringLiteral("DataBits"), first ? Com1DataBits : Com2DataBits},
        {"Stop Bits", com + QStringLiteral("StopBits"), first ? Com1StopBits : Com2StopBits},
    };
    QGroupBox* box =
        group(this, QStringLiteral(" ") + com + QStringLiteral(" "), com + QStringLiteral("Group"));
    QFormLayout* form = formIn(box);
    for (const auto& row : rows)
        row.control = comboRow(form, QString::fromLatin1(row.caption), row.name);
    return box;
}

QList<QCheckBox*> ConfigPage::unitBoxes() const
{
    return {RadioLB, RadioOZ, RadioLBOZ, RadioKG, RadioGM, RadioCustom};
}

} // namespace kx
