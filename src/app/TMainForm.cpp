#include "app/TMainForm.h"

#include "transfer/TransferInputs.h"

#include "app/FaceWidgets.h"
#include "app/KxApplication.h"
#include "app/TComForm.h"
#include "app/TrendWindow.h"
#include "app/UpdatePanel.h"
#include "editor/CustomOutputPage.h"
#include "editor/TParameterForm.h"
#include "help/ManualLauncher.h"
#include "app/ReportEntry.h"
#include "help/THelpAboutForm.h"
#include "help/VersionInfo.h"
#include "link/SystemSerial.h"
#include "trend/TrendFeed.h"
#include "widgets/AccessibleControl.h"

#include <utility>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

namespace kx {

TMainForm::TMainForm(const QString& folder, Clock& clock, std::unique_ptr<SerialDevice> mainPort,
                     DocumentDialogs* editorDialogs, QWidget* parent)
    : QWidget(parent), folder_(folder), editorDialogs_(editorDialogs), port_(folder)
{
    nameControl(this, QStringLiteral("TMainForm"));
    setWindowTitle(mainWindowCaption(builtInVersionInfo()));
    setFixedSize(804, 521);
    setFocusPolicy(Qt::StrongFocus);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    panel_ = std::make_unique<LineSession>(clock, std::move(mainPort), port_, *this, *this);
    panel_->FormCreate();
    buildFace();
    connect(panel_.get(), &LineSession::faceChanged, this, &TMainForm::render);
    trendFeed_ = std::make_unique<TrendFeed>(clock, *panel_);
    updatePanel_ = new UpdatePanel(this);
    firmware_ = std::make_unique<FirmwareUpdate>(clock, makeSystemSerialDevice(),
                                                 panel_->updateHost(), *updatePanel_, folder);
    updatePanel_->bind(*firmware_);

    // The face opens the port named in Port.Ini as soon as it is shown.
    port_.LoadPortSettings();
    panel_->setPortSettingsLoaded();
    // The manual is installed beside the executable, whichever folder keeps the files.
    launcher_ = std::make_unique<ManualLauncher>(
        ManualLauncher::standardPlaces(folder, QCoreApplication::applicationDirPath()));
    render();
}

TMainForm::~TMainForm()
{
    // The trend window draws from the feed, and the feed listens to the panel.
    delete trendWindow_;
    trendFeed_.reset();
    // The update's port closes before the main port; the panel may ask for nothing more.
    firmware_.reset();
    panel_->FormClose();
    // The dialogs hold references into the panel and the port settings: they go first.
    delete parameterForm_;
    delete aboutForm_;
    delete comForm_;
}

void TMainForm::buildFace()
{
    BlueLineImage = new PanelPicture(this);
    nameControl(BlueLineImage, QStringLiteral("BlueLineImage"));
    BlueLineImage->setGeometry(0, 0, 804, 521);

    WeighPanel = new QWidget(this);
    nameControl(WeighPanel, QStringLiteral("WeighPanel"));
    WeighPanel->setGeometry(0, 0, 804, 490);

    WeightPanel = new QWidget(WeighPanel);
    nameControl(WeightPanel, QStringLiteral("WeightPanel"));
    WeightPanel->setGeometry(242, 54, 320, 97);
    WeightPanel->setAutoFillBackground(true);
    WeightPanel->setStyleSheet(QStringLiteral("#WeightPanel { background: white; }"));

    Weight = new SegmentLabel(WeightPanel);
    nameControl(Weight, QStringLiteral("Weight"));
    Weight->setGeometry(8, 4, 304, 70);
    connect(Weight, &ClickLabel::doubleClicked, this, [this] { panel_->WeightDblClick(); });

    TareWt = new SegmentLabel(WeightPanel);
    nameControl(TareWt, QStringLiteral("TareWt"));
    TareWt->setGeometry(8, 4, 304, 70);
    TareWt->setAutoFillBackground(true);
    TareWt->setStyleSheet(QStringLiteral("background: white;"));
    TareWt->hide();

    CenterOfZero = new Mark(QStringLiteral(">0<"), WeightPanel);
    nameControl(CenterOfZero, QStringLiteral("CenterOfZero"));
    CenterOfZero->move(2, 2);

    const char* markNames[] = {"NetArrow",     "lbUnitsArrow", "gUnitsArrow",
                               "kgUnitsArrow", "ozUnitsArrow", "BatteryArrow"};
    const char* legends[] = {"NET", "lb", "g", "kg", "oz", "BAT"};
    for (int i = 0; i < 6; ++i) {
        marks_[i] = new Mark(QString::fromLatin1(legends[i]), WeightPanel);
        nameControl(marks_[i], QString::fromLatin1(markNames[i]));
        marks_[i]->move(30 + i * 46, 74);
    }

    ShuttingDownPanel = new QLabel(QStringLiteral("SHUTTING DOWN... please wait."), WeighPanel);
    nameControl(ShuttingDownPanel, QStringLiteral("ShuttingDownPanel"));
    ShuttingDownPanel->setGeometry(WeightPanel->geometry());
    ShuttingDownPanel->setAlignment(Qt::AlignCenter);
    ShuttingDownPanel->setWordWrap(true);
    ShuttingDownPanel->setStyleSheet(
        QStringLiteral("background:#d00000; color:white; font-weight:bold; font-size:20px;"));
    ShuttingDownPanel->hide();

    ConnectedLabel = new QLabel(WeighPanel);
    nameControl(ConnectedLabel, QStringLiteral("ConnectedLabel"));
    ConnectedLabel->setGeometry(196, 236, 250, 20);
    ConnectedLabel->setStyleSheet(QStringLiteral("color:white; font-weight:bold;"));

    LogLabel = new QLabel(WeighPanel);
    nameControl(LogLabel, QStringLiteral("LogLabel"));
    LogLabel->setGeometry(20, 462, 700, 20);
    LogLabel->setStyleSheet(QStringLiteral("color:#ffd000;"));
    LogLabel->hide();

    // Why the line is down, under the weight where the eye already is; two lines at most.
    LineLabel = new QLabel(WeighPanel);
    nameControl(LineLabel, QStringLiteral("LineLabel"));
    LineLabel->setGeometry(120, 258, 564, 36);
    LineLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LineLabel->setWordWrap(true);
    LineLabel->setStyleSheet(QStringLiteral("color:#ffd000;"));
    LineLabel->hide();

    CommandSent = new QLabel(QStringLiteral("Command Sent!"), WeighPanel);
    nameControl(CommandSent, QStringLiteral("CommandSent"));
    CommandSent->setGeometry(460, 236, 150, 20);
    CommandSent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CommandSent->setStyleSheet(QStringLiteral("color:white; font-weight:bold;"));
    CommandSent->hide();

    const char* keyNames[] = {"UnitsButton", "ZeroButton", "NetButton", "AutoTareButton",
                              "PrintButton"};
    const char* captions[] = {"UNITS", "ZERO", "NET\nGROSS", "AUTO\nTARE", "PRINT"};
    for (int i = 0; i < 5; ++i) {
        keys_[i] =
            new FaceKey(QString::fromLatin1(captions[i]), FaceModel::UnitsTag + i, WeighPanel);
        nameControl(keys_[i], QString::fromLatin1(keyNames[i]));
        keys_[i]->setAccessibleName(
            QString::fromLatin1(captions[i]).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        keys_[i]->move(198 + i * 85, 262);
        connect(keys_[i], &QAbstractButton::clicked, this,
                [this, tag = keys_[i]->tag()] { panel_->face().CommandClick(tag); });
    }
    OnOffButton = new FaceKey(QStringLiteral("ON/OFF"), 0, WeighPanel);
    OnOffButton->setRound(true);
    nameControl(OnOffButton, QStringLiteral("OnOffButton"));
    OnOffButton->move(365, 350);
    connect(OnOffButton, &QAbstractButton::clicked, this, [this] { panel_->OnOffButtonClick(); });

    auto* bar = new QWidget(this);
    bar->setGeometry(0, 490, 804, 31);
    bar->setAutoFillBackground(true);
    bar->setStyleSheet(QStringLiteral("background:black;"));
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(12, 0, 12, 0);
    const char* barNames[] = {"F1HelpButton", "F2PortSettingsButton", "F3UpdateButton",
                              "F4ParametersButton", "TrendButton"};
    const char* barTexts[] = {"F1-Help", "F2-Port Settings", "F3-Check For Update", "F4-Options",
                              "Ctrl+T-Trend"};
    for (int i = 0; i < 5; ++i) {
        auto* l = new ClickLabel(QString::fromLatin1(barTexts[i]), bar);
        nameControl(l, QString::fromLatin1(barNames[i]));
        l->setFixedHeight(31);
        l->setAlignment(Qt::AlignCenter);
        l->setCursor(Qt::PointingHandCursor);
        l->setStyleSheet(QStringLiteral("color:lime; font-weight:bold; font-size:14px;"));
        barLayout->addWidget(l, 1);
        bottomBar_[i] = l;
    }
    connect(bottomBar_[0], &ClickLabel::clicked, this, [this] { panel_->F1HelpButtonClick(); });
    connect(bottomBar_[1], &ClickLabel::clicked, this, [this] { panel_->WeightDblClick(); });
    connect(bottomBar_[2], &ClickLabel::clicked, this, [this] { panel_->F3UpdateButtonClick(); });
    connect(bottomBar_[3], &ClickLabel::clicked, this, [this] { panel_->F4OptionsButtonClick(); });
    connect(bottomBar_[4], &ClickLabel::clicked, this, &TMainForm::showTrendWindow);
}

void TMainForm::render()
{
    const FaceState& f = panel_->faceState();
    Weight->setShownText(f.Weight);
    TareWt->setShownText(f.TareWt);
    TareWt->setVisible(f.TareWtVisible);
    TareWt->setEnabled(f.TareWtEnabled);
    ConnectedLabel->setText(f.ConnectedLabel);
    ConnectedLabel->setAccessibleName(f.ConnectedLabel);
    CommandSent->setVisible(f.CommandSentVisible);
    LogLabel->setText(f.LogStatus);
    LogLabel->setToolTip(f.LogStatus);
    LogLabel->setAccessibleName(f.LogStatus);
    LogLabel->setVisible(!f.LogStatus.isEmpty());
    LineLabel->setText(f.LineStatus);
    LineLabel->setToolTip(f.LineStatus);
    LineLabel->setAccessibleName(f.LineStatus);
    LineLabel->setVisible(!f.LineStatus.isEmpty());
    const bool lit[] = {f.NetArrow,     f.lbUnitsArrow, f.gUnitsArrow,
                        f.kgUnitsArrow, f.ozUnitsArrow, f.BatteryArrow};
    for (int i = 0; i < 6; ++i)
        marks_[i]->setLit(lit[i]);
    CenterOfZero->setLit(f.CenterOfZero);
    ShuttingDownPanel->setVisible(f.ShuttingDownPanel);
    WeighPanel->setEnabled(f.WeighPanelEnabled);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Activation work runs once, after the window is on screen.
    QTimer::singleShot(0, this, [this] {
        if (!readerSetUp_) {
            readerSetUp_ = true;
            launcher_->SetUpReader();
        }
        panel_->FormActivate();
    });
}

void TMainForm::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+L, a key the indicator's own keys leave free, turns the protocol log on and off.
    if (event->key() == Qt::Key_L && event->modifiers() == Qt::ControlModifier) {
        if (!event->isAutoRepeat())
            panel_->toggleProtocolLog();
        return;
    }
    // Ctrl+T, also free on the indicator, shows the weight's trend in a window of its own.
    if (event->key() == Qt::Key_T && event->modifiers() == Qt::ControlModifier) {
        if (!event->isAutoRepeat())
            showTrendWindow();
        return;
    }
    // Ctrl+R, free as well: the service report of the visit.
    if (event->key() == Qt::Key_R && event->modifiers() == Qt::ControlModifier) {
        if (!event->isAutoRepeat())
            reportEntry().ask();
        return;
    }
    if (!event->isAutoRepeat())
        pressedKeys_.insert(event->key());
    QWidget::keyPressEvent(event);
}

void TMainForm::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat() || !pressedKeys_.remove(event->key()))
        return;
    if (firmware_->FormKeyUp(event->key()))
        return;
    panel_->FormKeyUp(event->key(), event->modifiers().testFlag(Qt::KeypadModifier));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // An update stops, and its panel and log go, before "SHUTTING DOWN..." shows.
    firmware_->closeRequested();
    if (panel_->FormCloseQuery()) {
        panel_->FormClose();
        event->accept();
    } else {
        event->ignore();
    }
}

TComForm* TMainForm::ComForm()
{
    if (!comForm_)
        comForm_ = new TComForm(port_, this);
    return comForm_;
}

TParameterForm* TMainForm::ParameterForm()
{
    // The editor builds four pages and reads its settings folder: only when it is opened,
    // or when a transfer or the fieldbus debug first needs it.
    if (!parameterForm_) {
        parameterForm_ = new TParameterForm(folder_, editorDialogs_, this);
        connectTransfers();
    }
    return parameterForm_;
}

THelpAboutForm* TMainForm::HelpAboutForm()
{
    if (!aboutForm_)
        aboutForm_ = new THelpAboutForm(builtInVersionInfo(), *launcher_, nullptr, this);
    return aboutForm_;
}

void TMainForm::showTrendWindow()
{
    // Made on first use and kept: closing it only hides it, so span and pause stay as left.
    if (!trendWindow_)
        trendWindow_ = new TrendWindow(*trendFeed_, this);
    trendWindow_->show();
    trendWindow_->raise();
    trendWindow_->activateWindow();
}

ReportEntry& TMainForm::reportEntry()
{
    if (!report_)
        report_ = new ReportEntry(
            this, folder_, *panel_, port_, *launcher_,
            [this] {
                uploadToKeep_ = false;
                run_ = EditorRun::ReportRead;
                panel_->readSetupIntoMemory();
            },
            [this](const QString& why) { showWarning(QStringLiteral("KXLINK"), why); });
    return *report_;
}

void TMainForm::contextMenuEvent(QContextMenuEvent* event)
{
    // Shown and left: the choice comes as a signal, the menu has no loop of its own.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Report…\tCtrl+R"), this, [this] { reportEntry().ask(); });
    menu->addAction(QStringLiteral("Trend\tCtrl+T"), this, &TMainForm::showTrendWindow);
    menu->popup(event->globalPos());
}

void TMainForm::showPortSettings()
{
    pressedKeys_.clear();
    // Opened while the line is down, the dialog says why, so the user knows what to fix.
    ComForm()->setReason(panel_->connected() ? QString() : panel_->faceState().LineStatus);
    ComForm()->exec();
}

void TMainForm::showPortError(const QString& text, const QString& detail)
{
    pressedKeys_.clear();
    QMessageBox box(QMessageBox::Question, QStringLiteral("PORT ERROR"),
                    detail.isEmpty() ? text : text + QLatin1Char('\n') + detail, QMessageBox::Ok,
                    this);
    box.exec();
}

void TMainForm::beep()
{
    QApplication::beep();
}

void TMainForm::showParameterEditor()
{
    TParameterForm* editor = ParameterForm();
    editor->setOpenedFromMainWindow();
    pressedKeys_.clear();
    editor->exec();
}

void TMainForm::showAbout()
{
    pressedKeys_.clear();
    HelpAboutForm()->exec();
}

void TMainForm::showWarning(const QString& caption, const QString& text)
{
    pressedKeys_.clear();
    QMessageBox::warning(this, caption, text);
}

void TMainForm::showFirmwareUpdate()
{
    pressedKeys_.clear();
    firmware_->F3UpdateButtonClick();
}

void TMainForm::ShowTransferStatus(const QString& line, bool open, bool finish, bool replaceLast)
{
    // Lines while the editor is closed would never be seen and only pile up.
    if (parameterForm_ && parameterForm_->isVisible())
        parameterForm_->ShowTransferStatus(line, open, finish, replaceLast);
}

TransferInputs TMainForm::transferInputs()
{
    TParameterForm* editor = ParameterForm();
    TransferInputs in = transferInputsOf(
        editor->record(), editor->document().checkedDownload().value_or(CheckedSettings{}));
    in.secondOutput = editor->CustomTab->twoOutputs();
    return in;
}

void TMainForm::connectTransfers()
{
    TParameterForm* editor = parameterForm_;
    connect(editor, &TParameterForm::transferStarting, this,
            [this] { panel_->stopDebugForTransfer(); });
    connect(editor, &TParameterForm::uploadRequested, this, [this] {
        uploadToKeep_ = false;
        panel_->startTransfer(TransferDirection::Upload);
    });
    connect(editor, &TParameterForm::downloadRequested, this, [this] {
        uploadToKeep_ = false;
        panel_->startTransfer(TransferDirection::Download);
    });
    // The compare window's read is an upload kept in memory, never offered for saving.
    connect(editor, &TParameterForm::compareRequested, this, [this] {
        uploadToKeep_ = false;
        run_ = EditorRun::CompareRead;
        panel_->readSetupIntoMemory();
    });
    connect(editor, &TParameterForm::checkedSendRequested, this,
            [this](const QList<QByteArray>& setupRead) {
                uploadToKeep_ = false;
                run_ = EditorRun::CheckedSend;
                QString why;
                if (!panel_->startDownloadAfterRead(setupRead, &why)) {
                    run_ = EditorRun::Plain;
                    parameterForm_->checkedSendRefused(
                        QStringLiteral("%1 Nothing was sent.").arg(why));
                }
            });
    connect(editor, &TParameterForm::transferCancelled, this, [this] { panel_->cancelTransfer(); });
    connect(editor, &TParameterForm::debugClicked, this, [this] { panel_->DebugAnyBusClick(); });
    // OK after a complete upload keeps the received setup as a settings file.
    connect(editor, &TParameterForm::transferPanelClosed, this, [this](const QString&) {
        if (std::exchange(uploadToKeep_, false))
            parameterForm_->document().SaveUploadedSettings(panel_->uploadLines());
    });
}

void TMainForm::transferEnded(const TransferResult& result)
{
    const EditorRun run = std::exchange(run_, EditorRun::Plain);
    uploadToKeep_ = run == EditorRun::Plain && result.outcome == Outcome::Completed
                    && result.direction == TransferDirection::Upload;
    if (run == EditorRun::CompareRead)
        parameterForm_->compareReadEnded(result, panel_->uploadLines());
    else if (run == EditorRun::CheckedSend)
        parameterForm_->checkedSendEnded(result, panel_->uploadLines());
    else if (run == EditorRun::ReportRead)
        report_->readEnded(result, panel_->uploadLines());
}

void TMainForm::refreshEditorClock()
{
    if (parameterForm_ && parameterForm_->isVisible())
        parameterForm_->refreshClock();
}

void TMainForm::showDebugLine(const QString& line)
{
    // The debug is started from the editor's page, so the editor is there when it runs.
    if (parameterForm_)
        parameterForm_->showDebugLine(line);
}

void TMainForm::showDebugRunning(bool running)
{
    if (parameterForm_)
        parameterForm_->showDebugRunning(running);
}

void TMainForm::terminate()
{
    QCoreApplication::quit();
}

} // namespace kx
