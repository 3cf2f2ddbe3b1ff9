#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kx {

class PortSettings;

// The port settings dialog. Its selections are the settings in force: every change goes to
// the PortSettings at once; only the Close button writes them to Port.Ini.
class TComForm : public QDialog
{
    Q_OBJECT
public:
    explicit TComForm(PortSettings& settings, QWidget* parent = nullptr);

    // Shows the settings' current selections in the controls.
    void refresh();
    // Why the dialog opened by itself (the line is down); empty hides the line.
    void setReason(const QString& reason);

    QLineEdit* ComNo = nullptr;
    QComboBox* BaudRate = nullptr;
    QComboBox* DataBits = nullptr;
    QComboBox* Parity = nullptr;
    QComboBox* StopBits = nullptr;
    QComboBox* Mode = nullptr;
    QComboBox* AppVersion = nullptr;
    QPushButton* CloseButton = nullptr;
    QLabel* DeviceLabel = nullptr;
    QLabel* ReasonLabel = nullptr;
    QComboBox* FoundPorts = nullptr;
    QPushButton* UseFoundPort = nullptr;

public slots:
    void CloseButtonClick();
    // Lists the serial ports this machine can see.
    void rescanPorts();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
    void takeSelections();
    void showDevice();
    void useFoundPort();

    PortSettings& settings_;
    bool filling_ = false;
};

} // namespace kx
