#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QListWidget;

namespace kx {

// The editor's "Calib&ration" page. The four hidden lists hold the division sizes each
// primary unit offers; `DivisionSize` always shows the list of the chosen unit.
class CalibrationPage : public QWidget
{
    Q_OBJECT
public:
    explicit CalibrationPage(QWidget* parent = nullptr);

    QLineEdit* ScaleCapacity;
    QComboBox* PrimaryUnits;
    QComboBox* AZTracking;
    QComboBox* MotionBand;
    QComboBox* DivisionSize;
    QComboBox* Filter;
    QComboBox* AutoTareMode;

    QListWidget* lbList;
    QListWidget* kgList;
    QListWidget* ozList;
    QListWidget* gmList;

    // The hidden division list of a primary unit: index 1 kg, 2 oz, 3 g, anything else lb.
    QListWidget* divisionListFor(int primaryUnit) const;

private:
    QListWidget* hiddenList(const QString& name);
};

} // namespace kx
