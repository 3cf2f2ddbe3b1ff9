#pragma once

#include "session/LineSession.h"

#include <QObject>
#include <functional>

class QDialog;
class QLineEdit;

namespace kx {

class ManualLauncher;
class PortSettings;

// "Report…" of the main window (Ctrl+R): asks who serviced the indicator, where, and a note
// (kept in Report.Ini in the program's folder for next time), reads the indicator's setup as
// the compare window does, writes the service report to SAVED/REPORTS and opens it in the
// manual's reader. The dialog is window-modal without a loop of its own; the read is the
// session's transfer, whose end comes back through readEnded().
class ReportEntry : public QObject
{
    Q_OBJECT
public:
    // startRead: starts the read into memory once the line is the transfer's; warn: tells
    // the user why there is no report.
    ReportEntry(QWidget* window, const QString& folder, LineSession& panel, PortSettings& port,
                ManualLauncher& launcher, std::function<void()> startRead,
                std::function<void(const QString&)> warn);
    ~ReportEntry() override;

    void ask();
    void readEnded(const TransferResult& result, const QList<QByteArray>& lines);
    // The path of the last report written (empty: none yet).
    const QString& lastReport() const { return lastReport_; }
    QDialog* dialog() const { return dialog_; }

private:
    void accepted();
    QString settingsPath() const;

    QWidget* window_;
    QString folder_;
    LineSession& panel_;
    PortSettings& port_;
    ManualLauncher& launcher_;
    std::function<void()> startRead_;
    std::function<void(const QString&)> warn_;
    QDialog* dialog_ = nullptr;
    QLineEdit* technician_ = nullptr;
    QLineEdit* site_ = nullptr;
    QLineEdit* note_ = nullptr;
    bool lent_ = false;
    bool reading_ = false;
    QString lastReport_;
};

} // namespace kx
