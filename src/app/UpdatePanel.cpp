#include "app/UpdatePanel.h"

#include "widgets/AccessibleControl.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

namespace {

QString labelStyle(LabelLook look)
{
    switch (look) {
    case LabelLook::YellowOnRed:
        return QStringLiteral("background:red; color:yellow; font-weight:bold;");
    case LabelLook::RedOnYellow:
        return QStringLiteral("background:yellow; color:red; font-weight:bold;");
    case LabelLook::WhiteOnNavy:
        break;
    }
    return QStringLiteral("background:navy; color:white; font-weight:normal;");
}

// Control bytes of the exchange shown as <XX>, the rest as the Windows code page would.
QString shownLogLine(const QByteArray& line)
{
    QString out;
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            out += QStringLiteral("<%1>").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QChar(b);
    }
    return out;
}

} // namespace

UpdatePanel::UpdatePanel(QWidget* mainWindow) : QFrame(mainWindow)
{
    nameControl(this, QStringLiteral("Progress_Panel"));
    setGeometry(152, 150, 500, 150);
    setAutoFillBackground(true);
    setStyleSheet(
        QStringLiteral("#Progress_Panel { background:navy; border:3px outset #8080c0; }"
                       "QWidget { font-family:Arial; font-size:15px; font-weight:bold; }"));

    auto* strip = new QWidget(this);
    strip->setGeometry(10, 10, 480, 36);
    strip->setAutoFillBackground(true);
    strip->setStyleSheet(QStringLiteral("background:white;"));
    ProgressBar = new QProgressBar(strip);
    nameControl(ProgressBar, QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(6, 6, 468, 24);
    ProgressBar->setTextVisible(false);

    ScanLabel = new QLabel(this);
    nameControl(ScanLabel, QStringLiteral("ScanLabel"));
    ScanLabel->setGeometry(10, 52, 480, 28);
    ScanLabel->setAlignment(Qt::AlignCenter);

    ProgressDetail = new QLabel(this);
    nameControl(ProgressDetail, QStringLiteral("ProgressDetail"));
    ProgressDetail->setGeometry(10, 82, 480, 22);
    ProgressDetail->setAlignment(Qt::AlignCenter);
    ProgressDetail->setStyleSheet(QStringLiteral("color:white; font-weight:normal;"));

    RetryUpdate = new QPushButton(QStringLiteral("Retry"), this);
    nameControl(RetryUpdate, QStringLiteral("RetryUpdate"));
    RetryUpdate->setGeometry(10, 110, 100, 30);
    RetryUpdate->setAccessibleName(QStringLiteral("Retry"));
    CloseUpdate = new QPushButton(QStringLiteral("Close"), this);
    nameControl(CloseUpdate, QStringLiteral("CloseUpdate"));
    CloseUpdate->setGeometry(390, 110, 100, 30);
    CloseUpdate->setAccessibleName(QStringLiteral("Close"));
    hide();

    HoldYourHorses =
        new QLabel(QStringLiteral("Please wait while the KX7400 reloads..."), mainWindow);
    nameControl(HoldYourHorses, QStringLiteral("HoldYourHorses"));
    HoldYourHorses->setAccessibleName(HoldYourHorses->text());
    HoldYourHorses->setGeometry(152, 60, 500, 80);
    HoldYourHorses->setAlignment(Qt::AlignCenter);
    HoldYourHorses->setAutoFillBackground(true);
    HoldYourHorses->setStyleSheet(QStringLiteral(
        "background:red; color:yellow; font-family:Arial; font-size:19px; font-weight:bold;"));
    HoldYourHorses->hide();

    LogList = new QListWidget(mainWindow);
    nameControl(LogList, QStringLiteral("LogList"));
    LogList->setGeometry(152, 305, 500, 180);
    LogList->setStyleSheet(QStringLiteral("font-family:monospace; font-size:11px;"));
    LogList->hide();
}

void UpdatePanel::bind(FirmwareUpdate& update)
{
    update_ = &update;
    connect(RetryUpdate, &QPushButton::clicked, this, [this] { update_->RetryUpdateClick(); });
    connect(CloseUpdate, &QPushButton::clicked, this, [this] { update_->CloseUpdateClick(); });
}

QString UpdatePanel::askUpdateFile(const QString& startFolder)
{
    if (chooser_)
        return chooser_(startFolder);
    QFileDialog dialog(parentWidget(), QStringLiteral("Find KX7400 Update file."), startFolder,
                       QStringLiteral("Hex File (*.hex)"));
    dialog.setDefaultSuffix(QStringLiteral("HEX"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    QApplication::restoreOverrideCursor();
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    if (busyCursor_)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    return chosen ? dialog.selectedFiles().constFirst() : QString();
}

void UpdatePanel::refuseUpdateFile(const QString& text)
{
    if (refusal_) {
        refusal_(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Update File Error"), text,
                    QMessageBox::Ok, parentWidget());
    box.exec();
}

void UpdatePanel::setBusyCursor(bool busy)
{
    if (busy == busyCursor_)
        return;
    busyCursor_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void UpdatePanel::updatePanelChanged(bool now)
{
    if (!update_)
        return;
    const UpdatePanelState& s = update_->panel();
    setVisible(s.visible);
    if (s.visible)
        raise();
    ProgressBar->setRange(0, std::max(s.barMax, 1));
    ProgressBar->setValue(std::min(s.barPosition, std::max(s.barMax, 1)));
    ProgressBar->setAccessibleName(ProgressBar->text());
    ScanLabel->setText(s.label);
    ScanLabel->setAccessibleName(s.label);
    ScanLabel->setStyleSheet(labelStyle(s.look));
    ProgressDetail->setText(s.detail);
    ProgressDetail->setAccessibleName(s.detail);
    RetryUpdate->setVisible(s.retryVisible);
    CloseUpdate->setVisible(s.closeVisible);
    HoldYourHorses->setVisible(s.waitVisible);
    if (s.waitVisible)
        HoldYourHorses->raise();

    const QList<QByteArray>& log = update_->loader().log();
    const qsizetype added = static_cast<qsizetype>(update_->loader().logAdded() - seenLogAdded_);
    seenLogAdded_ = update_->loader().logAdded();
    if (added >= log.size() || LogList->count() + added < log.size()) {
        LogList->clear();
        for (const QByteArray& line : log)
            LogList->addItem(shownLogLine(line));
    } else if (added > 0) {
        // The engine drops its oldest lines as it adds: drop as many here.
        for (qsizetype drop = LogList->count() + added - log.size(); drop > 0; --drop)
            delete LogList->takeItem(0);
        for (qsizetype i = log.size() - added; i < log.size(); ++i)
            LogList->addItem(shownLogLine(log[i]));
    }
    if (LogList->count() > 0)
        LogList->setCurrentRow(LogList->count() - 1);
    LogList->setAccessibleName(LogList->count() > 0 ? LogList->item(LogList->count() - 1)->text()
                                                    : QString());
    LogList->setVisible(update_->loader().logListVisible());
    if (now)
        repaint();
}

} // namespace kx
