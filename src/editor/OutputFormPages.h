#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kx {

// The custom output tab's "  S&ettings   " sub-page.
class OutputSettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OutputSettingsPage(QWidget* parent = nullptr);
    QComboBox* Checksum;
    QComboBox* Delimited;
    QComboBox* HdwHandShaking;
};

// The "   &Weights     " sub-page.
class OutputWeightsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OutputWeightsPage(QWidget* parent = nullptr);
    QLineEdit* Weight_Digits;
    QComboBox* Decimal_Point;
    QComboBox* Justify;
    QLineEdit* Fixed_Decimals;
    QComboBox* Leading_Zeroes;
    QCheckBox* Include_Polarity;
    QComboBox* Positive_Token;
    QComboBox* Negative_Token;
};

// The "    &Load     " sub-page: the preset buttons and the confirmation panel.
class OutputLoadPage : public QWidget
{
    Q_OBJECT
public:
    explicit OutputLoadPage(QWidget* parent = nullptr);

    QList<QRadioButton*> presetButtons; // in the order of the preset table
    QFrame* VerifyPanel;
    QPushButton* VerifyDefault_Button; // "OK"
    QPushButton* CancelDefault_Button;

    // The preset tag of the button last chosen; 0 when none.
    int chosenTag() const { return chosenTag_; }

signals:
    // "OK" on the confirmation panel with the tag to apply.
    void presetConfirmed(int tag);

private:
    void DefaultStringClick(QRadioButton* button);
    void closePanel();
    int chosenTag_ = 0;
    QRadioButton* chosen_ = nullptr;
};

} // namespace kx
