#pragma once

#include "firmware/FirmwareUpdate.h"

#include <QFrame>
#include <functional>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace kx {

// The firmware update's progress panel laid over the main window, with the wait panel and
// the log list. It draws FirmwareUpdate::panel() and forwards the two buttons.
class UpdatePanel : public QFrame, public FirmwareUpdateView
{
    Q_OBJECT
public:
    using FileChooser = std::function<QString(const QString& startFolder)>;
    using Refusal = std::function<void(const QString& text)>;

    explicit UpdatePanel(QWidget* mainWindow);

    void bind(FirmwareUpdate& update);
    // Tests answer the file dialog and the refusal without a modal window.
    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    void setRefusal(Refusal refusal) { refusal_ = std::move(refusal); }

    // FirmwareUpdateView
    QString askUpdateFile(const QString& startFolder) override;
    void refuseUpdateFile(const QString& text) override;
    void updatePanelChanged(bool now) override;
    void setBusyCursor(bool busy) override;

private:
    FirmwareUpdate* update_ = nullptr;
    FileChooser chooser_;
    Refusal refusal_;
    bool busyCursor_ = false;
    quint64 seenLogAdded_ = 0;

    QProgressBar* ProgressBar = nullptr;
    QLabel* ScanLabel = nullptr;
    QLabel* ProgressDetail = nullptr;
    QPushButton* RetryUpdate = nullptr;
    QPushButton* CloseUpdate = nullptr;
    QLabel* HoldYourHorses = nullptr;
    QListWidget* LogList = nullptr;
};

} // namespace kx
