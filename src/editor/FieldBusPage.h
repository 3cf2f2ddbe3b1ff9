#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kx {

// The editor's "FieldBus / &4-20mA" page: the field-bus options with the network type,
// the 4-20 mA output and setpoints, and along the bottom the debug line with its button.
class FieldBusPage : public QWidget
{
    Q_OBJECT
public:
    explicit FieldBusPage(QWidget* parent = nullptr);

    // " FieldBus "
    QLineEdit* NEBusID;
    QComboBox* NEBusBaud;
    QComboBox* NEBusType;
    QComboBox* NEBusEndian;
    QRadioButton* NEFieldBus;
    QRadioButton* NEEthernet;

    // " 4-20mA " and " Setpoints "
    QLineEdit* _4to20_Low;
    QLineEdit* _4to20_High;
    QComboBox* _4to20_Mode;
    QComboBox* _4to20_Enabled;
    QLineEdit* Setpoint1;
    QLineEdit* Setpoint2;

    // The field-bus debug monitor's line and button.
    QLineEdit* DebugList;
    QPushButton* DebugAnyBus;
};

} // namespace kx
