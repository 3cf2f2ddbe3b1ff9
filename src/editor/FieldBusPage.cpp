#include "editor/FieldBusPage.h"

#include "editor/PageBuilder.h"
#include "widgets/AccessibleControl.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kx {

using namespace PageBuilder;

FieldBusPage::FieldBusPage(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    page->addLayout(columns);

    // " FieldBus " with its " Network " choice inside.
    QGroupBox* bus = group(this, QStringLiteral(" FieldBus "), QStringLiteral("FieldBusGroup"));
    auto* busColumn = new QVBoxLayout(bus);
    auto* busForm = new QFormLayout;
    busForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    busColumn->addLayout(busForm);
    NEBusID = editRow(busForm, QStringLiteral("Node Address"), QStringLiteral("NEBusID"));
    NEBusBaud = comboRow(busForm, QStringLiteral("Baud Rate"), QStringLiteral("NEBusBaud"));
    NEBusType = comboRow(busForm, QStringLiteral("Data Type"), QStringLiteral("NEBusType"));
    NEBusEndian = comboRow(busForm, QStringLiteral("Endian"), QStringLiteral("NEBusEndian"));
    QGroupBox* network = group(bus, QStringLiteral(" Network "), QStringLiteral("NetworkGroup"));
    auto* networkRow = new QHBoxLayout(network);
    NEFieldBus = radio(network, QStringLiteral("Field Bus"), QStringLiteral("NEFieldBus"));
    NEEthernet = radio(network, QStringLiteral("Ethernet"), QStringLiteral("NEEthernet"));
    NEFieldBus->setChecked(true);
    networkRow->addWidget(NEFieldBus);
    networkRow->addWidget(NEEthernet);
    networkRow->addStretch();
    busColumn->addWidget(network);
    busColumn->addStretch();

    auto* right = new QVBoxLayout;
    QGroupBox* current = group(this, QStringLiteral(" 4-20mA "), QStringLiteral("_4to20_Group"));
    QFormLayout* currentForm = formIn(current);
    _4to20_Low = editRow(currentForm, QStringLiteral("Low Weight"), QStringLiteral("_4to20_Low"));
    _4to20_High =
        editRow(currentForm, QStringLiteral("High Weight"), QStringLiteral("_4to20_High"));
    _4to20_Mode = comboRow(currentForm, QStringLiteral("Mode"), QStringLiteral("_4to20_Mode"));
    _4to20_Enabled =
        comboRow(currentForm, QStringLiteral("Enable 4-20mA"), QStringLiteral("_4to20_Enabled"));
    QGroupBox* setpoints =
        group(this, QStringLiteral(" Setpoints "), QStringLiteral("SetpointsGroup"));
    QFormLayout* setpointForm = formIn(setpoints);
    Setpoint1 = editRow(setpointForm, QStringLiteral("Setpoint 1"), QStringLiteral("Setpoint1"));
    Setpoint2 = editRow(setpointForm, QStringLiteral("Setpoint 2"), QStringLiteral("Setpoint2"));
    right->addWidget(current);
    right->addWidget(setpoints);
    right->addStretch();

    columns->addWidget(bus, 1);
    columns->addLayout(right, 1);
    page->addStretch();

    // The debug line: the indicator's answers, read-only but selectable so they can be copied.
    auto* debugPanel = new QFrame(this);
    debugPanel->setFrameShape(QFrame::StyledPanel);
    nameControl(debugPanel, QStringLiteral("DebugPanel"));
    auto* debugColumn = new QVBoxLayout(debugPanel);
    DebugList = new QLineEdit(debugPanel);
    DebugList->setReadOnly(true);
    nameControl(DebugList, QStringLiteral("DebugList"));
    DebugAnyBus = new QPushButton(QStringLiteral("START DEBUG"), debugPanel);
    nameControl(DebugAnyBus, QStringLiteral("DebugAnyBus"));
    debugColumn->addWidget(DebugList);
    debugColumn->addWidget(DebugAnyBus, 0, Qt::AlignHCenter);
    page->addWidget(debugPanel);
}

} // namespace kx
