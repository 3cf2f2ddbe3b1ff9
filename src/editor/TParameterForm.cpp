#include "editor/TParameterForm.h"

#include "editor/CompareWindow.h"
#include "editor/LogbookWindow.h"

#include "editor/CalibrationPage.h"
#include "editor/ConfigPage.h"
#include "editor/CustomOutputPage.h"
#include "editor/ErrorPanel.h"
#include "editor/FieldBusPage.h"
#include "editor/GuardedHandler.h"
#include "editor/QtDocumentDialogs.h"
#include "editor/RecordBinding.h"
#include "editor/TicketPage.h"
#include "editor/TransferPanel.h"
#include "settings/ClockText.h"
#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/ModeLists.h"
#include "widgets/AccessibleControl.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>

namespace kx {

Q_LOGGING_CATEGORY(lcEditor, "kx.editor")

namespace {

constexpr int kWidth = 776;
constexpr int kHeight = 584;
constexpr int kTransferPanelWidth = 420;
constexpr int kTransferPanelHeight = 210;

// Code is changing controls: their change events are not the user's edits.
class FillGuard
{
public:
    explicit FillGuard(int& depth) : depth_(depth) { ++depth_; }
    ~FillGuard() { --depth_; }
    FillGuard(const FillGuard&) = delete;
    FillGuard& operator=(const FillGuard&) = delete;

private:
    int& depth_;
};

QPushButton* barButton(QWidget* parent, const QString& caption, const QString& name)
{
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    // Nine buttons share the editor's fixed width: each may give up what the style adds beyond
    // its caption (and a menu's arrow), never the caption itself.
    const QFontMetrics metrics(button->font());
    button->setMinimumWidth(metrics.horizontalAdvance(withoutMnemonic(caption)) + 24);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    nameControl(button, name);
    return button;
}

} // namespace

TParameterForm::TParameterForm(const QString& programFolder, DocumentDialogs* dialogs,
                               QWidget* parent)
    : QDialog(parent), now_([] { return QDateTime::currentDateTime(); }),
      programFolder_(programFolder)
{
    if (!dialogs) {
        ownDialogs_ = std::make_unique<QtDocumentDialogs>(this);
        dialogs = ownDialogs_.get();
    }
    document_ = std::make_unique<SettingsDocument>(*this, *dialogs, programFolder);
    FormCreate();
}

TParameterForm::~TParameterForm() = default;

void TParameterForm::FormCreate()
{
    setObjectName(QStringLiteral("ParameterForm"));
    setAccessibleDescription(QStringLiteral("ParameterForm"));
    setCaption(QStringLiteral("Parameters Editor"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setFixedSize(kWidth, kHeight);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    BackPanel = new QWidget(this);
    nameControl(BackPanel, QStringLiteral("BackPanel"));
    BackPanel->setAccessibleName(QStringLiteral("BackPanel"));
    outer->addWidget(BackPanel);
    auto* back = new QVBoxLayout(BackPanel);
    back->setContentsMargins(6, 6, 6, 6);

    PageControl = new QTabWidget(BackPanel);
    nameControl(PageControl, QStringLiteral("PageControl"));
    ConfigTab = new ConfigPage(PageControl);
    CalTab = new CalibrationPage(PageControl);
    AnyBusTab = new FieldBusPage(PageControl);
    CustomOutputHost host;
    host.view = this;
    host.ignoringEvents = [this] { return ignoringEvents(); };
    host.primaryUnits = [this] { return CalTab->PrimaryUnits->currentIndex(); };
    host.divisionIndex = [this] { return CalTab->DivisionSize->currentIndex(); };
    host.automaticPrint = [this] { return ConfigTab->PrintMode1->currentIndex() == 2; };
    host.programFolder = programFolder_;
    CustomTab = new CustomOutputPage(std::move(host), PageControl);
    TicketTab = new TicketPage(
        [this] {
            if (!ignoringEvents())
                changed_ = true;
        },
        PageControl);
    const struct
    {
        QWidget* page;
        const char* name;
        const char* caption;
    } pages[] = {{ConfigTab, "ConfigTab", "Conf&iguration"},
                 {CalTab, "CalTab", "Calib&ration"},
                 {AnyBusTab, "AnyBusTab", "FieldBus / &4-20mA"},
                 {CustomTab, "CustomTab", "Cus&tom Output"},
                 {TicketTab, "TicketTab", "&Format Ticket"}};
    for (const auto& p : pages) {
        const QString caption = QString::fromLatin1(p.caption);
        PageControl->addTab(p.page, caption);
        nameControl(p.page, QString::fromLatin1(p.name));
        p.page->setAccessibleName(withoutMnemonic(caption));
    }
    PageControl->setAccessibleName(withoutMnemonic(PageControl->tabText(0)));
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        PageControl->setAccessibleName(withoutMnemonic(PageControl->tabText(index)));
        if (PageControl->widget(index) == TicketTab) {
            TicketTab->FieldGrid->setCurrentCell(-1, -1);
            TicketTab->Printer->setFocus();
        }
    });
    back->addWidget(PageControl, 1);
    makeButtonBar(BackPanel);

    RecordBinding::prepareControls(this);
    connectChangeHandlers();

    errorPanel_ = new ErrorPanel(this);
    errorPanel_->setGeometry((kWidth - 560) / 2, 250, 560, 64);
    transferPanel_ = new TransferPanel(this);
    transferPanel_->setCoveredPanel(BackPanel);
    transferPanel_->setGeometry(transferPanelLeft(width(), kTransferPanelWidth),
                                transferPanelTop(height(), kTransferPanelHeight),
                                kTransferPanelWidth, kTransferPanelHeight);
    connect(transferPanel_, &TransferPanel::closedWithOk, this,
            &TParameterForm::transferPanelClosed);
    connect(transferPanel_, &TransferPanel::cancelled, this, &TParameterForm::transferCancelled);
    connect(AnyBusTab->DebugAnyBus, &QPushButton::clicked, this, &TParameterForm::debugClicked);

    // Until the first show fills the window it holds a new record, so that whatever reads
    // it before then reads sensible values.
    held_ = newSettingsRecord();
    {
        FillGuard fill(filling_);
        RecordBinding::showRecord(this, held_);
        syncCustomGroup();
    }
}

void TParameterForm::makeButtonBar(QWidget* parent)
{
    auto* bar = new QHBoxLayout;
    bar->setSpacing(4);
    FileNew = barButton(parent, QStringLiteral("Ne&w"), QStringLiteral("FileNew"));
    FileOpen = barButton(parent, QStringLiteral("&Open"), QStringLiteral("FileOpen"));
    FileSave = barButton(parent, QStringLiteral("&Save"), QStringLiteral("FileSave"));
    FileSaveAs = barButton(parent, QStringLiteral("Sa&ve As"), QStringLiteral("FileSaveAs"));
    FileUpload = barButton(parent, QStringLiteral("&Upload"), QStringLiteral("FileUpload"));
    FileDownload = barButton(parent, QStringLiteral("&Download"), QStringLiteral("FileDownload"));
    FileLogbook = barButton(parent, QStringLiteral("Lo&gbook…"), QStringLiteral("FileLogbook"));
    // Both comparisons under one button: the bar has no room for two more captions this long.
    FileCompare = barButton(parent, QStringLiteral("Co&mpare"), QStringLiteral("FileCompare"));
    auto* compareMenu = new QMenu(FileCompare);
    compareMenu->setObjectName(QStringLiteral("CompareMenu"));
    CompareIndicator = compareMenu->addAction(QStringLiteral("Compare with &KX7400…"));
    CompareIndicator->setObjectName(QStringLiteral("CompareIndicator"));
    CompareFile = compareMenu->addAction(QStringLiteral("Compare with &file…"));
    CompareFile->setObjectName(QStringLiteral("CompareFile"));
    FileCompare->setMenu(compareMenu);
    FileCompare->setMinimumWidth(FileCompare->minimumWidth() + 16); // the menu's arrow
    ScreenClose = barButton(parent, QStringLiteral("E&xit"), QStringLiteral("ScreenClose"));
    for (QPushButton* b : {FileNew, FileOpen, FileSave, FileSaveAs, FileUpload, FileDownload,
                           FileCompare, FileLogbook, ScreenClose})
        bar->addWidget(b);
    static_cast<QVBoxLayout*>(parent->layout())->addLayout(bar);

    // A running debug capture ends before any question; then the document asks what it
    // must; the transfer itself is the main window's.
    connect(FileUpload, &QPushButton::clicked, this, [this] {
        emit transferStarting();
        if (document_->prepareUpload())
            emit uploadRequested();
    });
    connect(FileDownload, &QPushButton::clicked, this, [this] {
        emit transferStarting();
        if (document_->prepareDownload())
            emit downloadRequested();
    });

    connect(CompareIndicator, &QAction::triggered, this, &TParameterForm::compareWithIndicator);
    connect(CompareFile, &QAction::triggered, this, &TParameterForm::compareWithFile);

    connect(FileNew, &QPushButton::clicked, this, &TParameterForm::NewButtonClick);
    connect(FileOpen, &QPushButton::clicked, this, &TParameterForm::OpenButtonClick);
    connect(FileSave, &QPushButton::clicked, this,
            [this] { SaveButtonClick(SettingsDocument::SaveCaller::SaveButton); });
    connect(FileSaveAs, &QPushButton::clicked, this,
            [this] { SaveButtonClick(SettingsDocument::SaveCaller::SaveAsButton); });
    connect(ScreenClose, &QPushButton::clicked, this, &TParameterForm::CloseButtonClick);
    // Shown over the editor without a loop of its own; it goes when closed.
    connect(FileLogbook, &QPushButton::clicked, this, [this] {
        auto* window = new LogbookWindow(programFolder_, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->open();
    });
}

void TParameterForm::connectChangeHandlers()
{
    // Connected by name and kind, so a control a later page brings joins in by itself.
    auto onChange = [this](const char* name, void (TParameterForm::*handler)()) {
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(name));
        if (auto* combo = qobject_cast<QComboBox*>(w))
            connect(combo, &QComboBox::currentIndexChanged, this, handler);
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            connect(edit, &QLineEdit::textChanged, this, handler);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            connect(button, &QAbstractButton::toggled, this, handler);
    };
    // Every control the settings table binds marks the record changed when the user edits
    // it, chosen print mode or not: an edit that is not marked would be dropped without a
    // question on closing.
    for (const SettingDesc& desc : settingsTable()) {
        onChange(desc.control, &TParameterForm::ParameterChanged);
        if (desc.partner)
            onChange(desc.partner, &TParameterForm::ParameterChanged);
    }
    // Edits that do more than mark the record.
    onChange("TimeEdit", &TParameterForm::TimeEditChange);
    onChange("PrimaryUnits", &TParameterForm::PrimaryUnitsChange);
    for (const char* name :
         {"RadioLB", "RadioOZ", "RadioLBOZ", "RadioKG", "RadioGM", "RadioCustom"})
        onChange(name, &TParameterForm::RadioLBClick);
}

// ---- showing -----------------------------------------------------------------------------

void TParameterForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TParameterForm::showDebugLine(const QString& line)
{
    AnyBusTab->DebugList->setText(line);
    AnyBusTab->DebugList->setAccessibleName(line);
}

void TParameterForm::showDebugRunning(bool running)
{
    setButtonCaption(AnyBusTab->DebugAnyBus,
                     running ? QStringLiteral("STOP DEBUG") : QStringLiteral("START DEBUG"));
}

void TParameterForm::FormShow()
{
    if (!showRequest_)
        return;
    loading_ = true;
    fillPrintModes();
    showDebugRunning(false);
    readCustomOutputs();
    try {
        document_->LoadOnShow();
    } catch (const std::exception& e) {
        qCWarning(lcEditor) << "loading on show failed:" << e.what();
        showErrorPanel(QStringLiteral("Error occurred! Unable to load defaults."));
    } catch (...) {
        qCWarning(lcEditor) << "loading on show failed";
        showErrorPanel(QStringLiteral("Error occurred! Unable to load defaults."));
    }
    changed_ = false;
    keptChanges_ = false;
    loading_ = false;
    if (PageControl->currentWidget() == ConfigTab)
        ConfigTab->TimeEdit->setFocus();
    showRequest_ = false;
}

void TParameterForm::readCustomOutputs()
{
    // Read on every show, so a changed "Custom Outputs" needs no restart.
    IniDocument ini;
    int outputs = 1;
    const QString path = QDir(programFolder_).filePath(QStringLiteral("Port.Ini"));
    if (QFileInfo::exists(path) && ini.load(path))
        outputs = ini.readInteger("Advanced", "Custom Outputs", 1);
    FillGuard fill(filling_);
    CustomTab->setTwoOutputs(outputs == 2);
}

void TParameterForm::fillPrintModes()
{
    FillGuard fill(filling_);
    RecordBinding::replaceItems(ConfigTab->PrintMode1, ModeLists::kx7400Mode1());
    RecordBinding::replaceItems(ConfigTab->PrintMode2, ModeLists::kx7400Mode2());
}

void TParameterForm::LoadDefaults()
{
    guarded("LoadDefaults", [this] { document_->LoadDefaults(); });
}

// ---- the record in the controls ----------------------------------------------------------

SettingsRecord TParameterForm::record() const
{
    SettingsRecord r = RecordBinding::readRecord(this, held_);
    r.tempCom1 = CustomTab->definitions()[0];
    r.tempCom2 = CustomTab->definitions()[1];
    r.ticket = TicketTab->fields();
    return r;
}

bool TParameterForm::showRecord(const SettingsRecord& record, FillReason reason)
{
    FillGuard fill(filling_);
    held_ = record;
    bool applied = true;
    try {
        if (reason == FillReason::NewRecord) {
            PageControl->setCurrentWidget(ConfigTab);
            // Every list starts at its first item; the record's values follow.
            for (QComboBox* combo : findChildren<QComboBox*>())
                if (combo->count() > 0)
                    combo->setCurrentIndex(0);
        }
        RecordBinding::showRecord(this, record);
        RecordBinding::setTypedText(ConfigTab->DateEdit, dateText(now_().date()));
        CustomTab->setDefinitions(record.tempCom1, record.tempCom2);
        CustomTab->LoadPortDefinition(-1);
        CustomTab->ResetBuilderView();
        TicketTab->showFields(record.ticket);
        if (reason == FillReason::NewRecord)
            TicketTab->scrollToCorner();
    } catch (const std::exception& e) {
        qCWarning(lcEditor) << "filling the editor failed:" << e.what();
        applied = false;
    }
    syncCustomGroup();
    refreshClock();
    return applied;
}

void TParameterForm::storeShownDefinition()
{
    guarded("StorePortDefinition",
            [this] { CustomTab->StorePortDefinition(CustomTab->currentPort()); });
}

// ---- window services ---------------------------------------------------------------------

void TParameterForm::setCaption(const QString& caption)
{
    setWindowTitle(caption);
    setAccessibleName(caption);
}

void TParameterForm::setBusy(bool busy)
{
    if (busy) {
        if (busyDepth_++ == 0)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void TParameterForm::showErrorPanel(const QString& text)
{
    errorPanel_->showError(text);
}

void TParameterForm::ShowTransferStatus(const QString& text, bool open, bool finish,
                                        bool replaceLast)
{
    transferPanel_->ShowTransferStatus(text, open, finish, replaceLast);
}

void TParameterForm::refreshClock()
{
    const bool twelveHour = ConfigTab->TimeEdit->currentIndex() == 1;
    ConfigTab->TimeTicker->setText(clockText(now_().time(), twelveHour));
}

// ---- change tracking and dependent controls ----------------------------------------------

void TParameterForm::ParameterChanged()
{
    if (!ignoringEvents())
        changed_ = true;
}

void TParameterForm::TimeEditChange()
{
    if (ignoringEvents())
        return;
    if (ConfigTab->TimeEdit->currentIndex() >= 0)
        refreshClock();
    changed_ = true;
}

void TParameterForm::RadioLBClick()
{
    syncCustomGroup();
    if (!ignoringEvents())
        changed_ = true;
}

void TParameterForm::syncCustomGroup()
{
    ConfigTab->CustomGroup->setEnabled(ConfigTab->RadioCustom->isChecked());
}

void TParameterForm::PrimaryUnitsChange()
{
    if (ignoringEvents())
        return;
    // The position in the division list carries over to the new unit's list, not the value.
    QComboBox* division = CalTab->DivisionSize;
    const int position = division->currentIndex();
    {
        FillGuard fill(filling_);
        RecordBinding::replaceItems(
            division, optionTexts(divisionList(CalTab->PrimaryUnits->currentIndex())));
        division->setCurrentIndex(position < division->count() ? position : -1);
    }
    // A different unit (and so a different division) is an edit like any other.
    changed_ = true;
}

// ---- buttons and closing -----------------------------------------------------------------

void TParameterForm::NewButtonClick()
{
    guarded("NewButtonClick", [this] { document_->NewButtonClick(); });
}

void TParameterForm::OpenButtonClick()
{
    guarded("OpenButtonClick", [this] { document_->OpenButtonClick(); });
}

void TParameterForm::SaveButtonClick(SettingsDocument::SaveCaller caller)
{
    guarded("SaveButtonClick", [this, caller] { document_->SaveButtonClick(caller); });
}

void TParameterForm::CloseButtonClick()
{
    close();
}

void TParameterForm::reject()
{
    if (closing_)
        return;
    closing_ = true;
    bool canClose = true;
    guarded("FormCloseQuery", [this, &canClose] { canClose = document_->FormCloseQuery(); });
    closing_ = false;
    // A save the user asked for that did not happen keeps the editor open with the edits.
    if (canClose)
        QDialog::reject();
}

void TParameterForm::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->key() == Qt::Key_Escape || (enter && transferPanel_->isVisible())) {
        // Esc is the transfer panel's Cancel, and on an ended panel Esc and Enter are its OK;
        // neither closes the editor by itself, and Enter never cancels a running transfer.
        if (transferPanel_->isVisible()) {
            if (transferPanel_->buttonMode() == TransferPanel::ButtonMode::Ok)
                transferPanel_->dismiss();
            else if (!enter)
                transferPanel_->TransferButton->click();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TParameterForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        update();
}

} // namespace kx
