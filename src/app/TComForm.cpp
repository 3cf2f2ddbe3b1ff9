#include "app/TComForm.h"

#include "link/PortScan.h"
#include "link/PortSettings.h"
#include "widgets/AccessibleControl.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {
namespace {

QComboBox* selector(const QString& name, const QStringList& items)
{
    auto* box = new QComboBox;
    box->addItems(items);
    nameControl(box, name);
    return box;
}

// What a port is, in the words its driver and maker give.
} // namespace

TComForm::TComForm(PortSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings)
{
    nameControl(this, QStringLiteral("TComForm"));
    setWindowTitle(QStringLiteral("Communications Port Setup"));
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(514, 447);

    auto* header = new QLabel(QStringLiteral("Port Settings"));
    nameControl(header, QStringLiteral("HeaderLabel"));
    header->setAlignment(Qt::AlignCenter);
    header->setStyleSheet(QStringLiteral(
        "background:#b00000; color:white; font-weight:bold; font-size:20px; padding:8px;"));

    ComNo = new QLineEdit;
    ComNo->setMaxLength(3);
    nameControl(ComNo, QStringLiteral("ComNo"));
    BaudRate = selector(QStringLiteral("BaudRate"), PortSettings::BaudRates());
    DataBits = selector(QStringLiteral("DataBits"), PortSettings::DataBitsList());
    Parity = selector(QStringLiteral("Parity"), PortSettings::Parities());
    StopBits = selector(QStringLiteral("StopBits"), PortSettings::StopBitsList());
    Mode = selector(QStringLiteral("Mode"), PortSettings::Modes());
    AppVersion = selector(QStringLiteral("AppVersion"), PortSettings::AppVersions());
    auto* versionLabel = new QLabel(QStringLiteral("Version"));
    AppVersion->hide();
    versionLabel->hide();

    DeviceLabel = new QLabel;
    nameControl(DeviceLabel, QStringLiteral("DeviceLabel"));
    DeviceLabel->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Com Port"), ComNo);
    form->addRow(QString(), DeviceLabel);
    form->addRow(QStringLiteral("Baud Rate"), BaudRate);
    form->addRow(QStringLiteral("Data Bits"), DataBits);
    form->addRow(QStringLiteral("Parity"), Parity);
    form->addRow(QStringLiteral("Stop Bits"), StopBits);
    form->addRow(QStringLiteral("Mode"), Mode);
    form->addRow(versionLabel, AppVersion);

    // Linux names ports by device, not number: let the user point the number at one.
    auto* found = new QGroupBox(QStringLiteral("Serial ports on this computer"));
    FoundPorts = new QComboBox;
    nameControl(FoundPorts, QStringLiteral("FoundPorts"));
    UseFoundPort = new QPushButton(QStringLiteral("Use for this port number"));
    nameControl(UseFoundPort, QStringLiteral("UseFoundPort"));
    UseFoundPort->setAutoDefault(false);
    auto* rescan = new QPushButton(QStringLiteral("Rescan"));
    nameControl(rescan, QStringLiteral("RescanPorts"));
    rescan->setAutoDefault(false);
    auto* foundRow = new QHBoxLayout;
    foundRow->addWidget(UseFoundPort);
    foundRow->addWidget(rescan);
    auto* foundLayout = new QVBoxLayout(found);
    foundLayout->addWidget(FoundPorts);
    foundLayout->addLayout(foundRow);

    CloseButton = new QPushButton(QStringLiteral("Close"));
    nameControl(CloseButton, QStringLiteral("CloseButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CloseButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    layout->addWidget(header);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(16, 8, 16, 0);
    ReasonLabel = new QLabel;
    nameControl(ReasonLabel, QStringLiteral("ReasonLabel"));
    ReasonLabel->setWordWrap(true);
    ReasonLabel->setStyleSheet(QStringLiteral("color:#b00000; font-weight:bold;"));
    ReasonLabel->hide();
    body->addWidget(ReasonLabel);
    body->addLayout(form);
    body->addWidget(found);
    body->addStretch();
    body->addLayout(buttons);
    layout->addLayout(body);

    setTabOrder(ComNo, BaudRate);
    setTabOrder(BaudRate, DataBits);
    setTabOrder(DataBits, Parity);
    setTabOrder(Parity, StopBits);
    setTabOrder(StopBits, Mode);
    setTabOrder(Mode, CloseButton);

    connect(CloseButton, &QPushButton::clicked, this, &TComForm::CloseButtonClick);
    connect(UseFoundPort, &QPushButton::clicked, this, &TComForm::useFoundPort);
    connect(rescan, &QPushButton::clicked, this, &TComForm::rescanPorts);
    connect(ComNo, &QLineEdit::textChanged, this, &TComForm::takeSelections);
    for (QComboBox* box : {BaudRate, DataBits, Parity, StopBits, Mode, AppVersion})
        connect(box, &QComboBox::currentIndexChanged, this, &TComForm::takeSelections);
    refresh();
}

void TComForm::setReason(const QString& reason)
{
    ReasonLabel->setText(reason);
    ReasonLabel->setAccessibleName(reason);
    ReasonLabel->setVisible(!reason.isEmpty());
}

void TComForm::refresh()
{
    filling_ = true;
    ComNo->setText(settings_.ComNo);
    BaudRate->setCurrentIndex(settings_.BaudRate);
    DataBits->setCurrentIndex(settings_.DataBits);
    Parity->setCurrentIndex(settings_.Parity);
    StopBits->setCurrentIndex(settings_.StopBits);
    Mode->setCurrentIndex(settings_.Mode);
    AppVersion->setCurrentIndex(settings_.AppVersion);
    filling_ = false;
    // The box holds three characters; use what it shows, not a longer text from the file.
    settings_.ComNo = ComNo->text();
    showDevice();
}

void TComForm::takeSelections()
{
    if (filling_)
        return;
    settings_.ComNo = ComNo->text();
    settings_.BaudRate = BaudRate->currentIndex();
    settings_.DataBits = DataBits->currentIndex();
    settings_.Parity = Parity->currentIndex();
    settings_.StopBits = StopBits->currentIndex();
    settings_.Mode = Mode->currentIndex();
    settings_.AppVersion = AppVersion->currentIndex();
    showDevice();
}

void TComForm::showDevice()
{
    const int n = settings_.portNumber();
    QString text;
    if (n == 0) {
        text = QStringLiteral("No port selected.");
    } else {
        const QString path = settings_.devicePathFor(n);
        const bool exists = QFileInfo::exists(path);
        text = QStringLiteral("Port %1 is %2%3")
                   .arg(n)
                   .arg(path, exists ? QString() : QStringLiteral(" (not present)"));
    }
    DeviceLabel->setText(text);
    DeviceLabel->setAccessibleName(text);
}

void TComForm::rescanPorts()
{
    FoundPorts->clear();
    for (const FoundPort& port : scanSerialPorts())
        FoundPorts->addItem(port.label, port.path);
    const QString mapped = settings_.mappedDevice(settings_.portNumber());
    if (!mapped.isEmpty() && FoundPorts->findData(mapped) < 0)
        FoundPorts->addItem(QStringLiteral("%1 (from Port.Ini)").arg(mapped), mapped);
    UseFoundPort->setEnabled(FoundPorts->count() > 0);
    FoundPorts->setAccessibleName(FoundPorts->currentText());
}

void TComForm::useFoundPort()
{
    const int n = settings_.portNumber();
    if (n == 0) {
        DeviceLabel->setText(QStringLiteral("Type a port number first (for example 1)."));
        return;
    }
    QString why;
    if (!settings_.setMappedDevice(n, FoundPorts->currentData().toString(), &why)) {
        DeviceLabel->setText(QStringLiteral("Not saved: %1").arg(why));
        return;
    }
    showDevice();
}

void TComForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormActivate();
}

void TComForm::FormActivate()
{
    refresh();
    rescanPorts();
    ComNo->setFocus();
}

void TComForm::CloseButtonClick()
{
    takeSelections();
    // The selections are in force whether or not the file takes them; the user is told that
    // they will not be there next time.
    QString why;
    if (!settings_.SavePortSettings(&why))
        QMessageBox::warning(this, QStringLiteral("Port Settings"),
                             QStringLiteral("Port settings could not be saved.\n%1").arg(why));
    accept();
}

} // namespace kx
