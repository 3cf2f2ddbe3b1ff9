#include "editor/ConfigPage.h"

#include "editor/AccessibleControl.h"
#include "editor/PageBuilder.h"

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
    QGroupBox* box = group(this, QStringLiteral(" Com") + n + QStringLiteral(" "),
                           QStringLiteral("Com") + n + QStringLiteral("Group"));
    QFormLayout* form = formIn(box);
    QComboBox* iface = comboRow(form, QStringLiteral("Interface"), QStringLiteral("Interface") + n);
    QComboBox* mode = comboRow(form, QStringLiteral("Print Mode"), QStringLiteral("PrintMode") + n);
    const QString com = QStringLiteral("Com") + n;
    QComboBox* baud = comboRow(form, QStringLiteral("Baud"), com + QStringLiteral("Baud"));
    QComboBox* parity = comboRow(form, QStringLiteral("Parity"), com + QStringLiteral("Parity"));
    QComboBox* data = comboRow(form, QStringLiteral("Data Bits"), com + QStringLiteral("DataBits"));
    QComboBox* stop = comboRow(form, QStringLiteral("Stop Bits"), com + QStringLiteral("StopBits"));
    if (port == 1) {
        Interface1 = iface;
        PrintMode1 = mode;
        Com1Baud = baud;
        Com1Parity = parity;
        Com1DataBits = data;
        Com1StopBits = stop;
    } else {
        Interface2 = iface;
        PrintMode2 = mode;
        Com2Baud = baud;
        Com2Parity = parity;
        Com2DataBits = data;
        Com2StopBits = stop;
    }
    return box;
}

QList<QCheckBox*> ConfigPage::unitBoxes() const
{
    return {RadioLB, RadioOZ, RadioLBOZ, RadioKG, RadioGM, RadioCustom};
}

} // namespace kx
