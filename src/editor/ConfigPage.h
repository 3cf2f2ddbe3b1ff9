#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace kx {

// The editor's "Conf&iguration" page: clock and display settings, the weighing units with
// the custom unit, and the indicator's two serial ports.
class ConfigPage : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigPage(QWidget* parent = nullptr);

    // " Params "
    QComboBox* TimeEdit;
    QLineEdit* TimeTicker;
    QLineEdit* DateEdit;
    QComboBox* DisplayRate;
    QComboBox* ZeroRange;
    QComboBox* SleepMode;
    QComboBox* BackLight;
    QComboBox* TimeInSeconds;
    QComboBox* OperatingMode;

    // " Units "
    QCheckBox* RadioLB;
    QCheckBox* RadioOZ;
    QCheckBox* RadioLBOZ;
    QCheckBox* RadioKG;
    QCheckBox* RadioGM;
    QCheckBox* RadioCustom;

    // " Custom Units Details "
    QGroupBox* CustomGroup;
    QLineEdit* CustomName;
    QLineEdit* CustomFactor;
    QComboBox* CustomResolution;

    // " Com1 " and " Com2 "
    QComboBox* Interface1;
    QComboBox* PrintMode1;
    QComboBox* Com1Baud;
    QComboBox* Com1Parity;
    QComboBox* Com1DataBits;
    QComboBox* Com1StopBits;
    QComboBox* Interface2;
    QComboBox* PrintMode2;
    QComboBox* Com2Baud;
    QComboBox* Com2Parity;
    QComboBox* Com2DataBits;
    QComboBox* Com2StopBits;

    QList<QCheckBox*> unitBoxes() const;

private:
    QGroupBox* makeParams();
    QGroupBox* makeUnits();
    QGroupBox* makeCustomUnits();
    QGroupBox* makeCom(int port);
};

} // namespace kx
