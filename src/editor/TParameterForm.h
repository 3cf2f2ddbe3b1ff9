#pragma once

#include "settings/SettingsDocument.h"
#include "settings/SetupComparison.h"
#include "settings/SettingsEditorView.h"
#include "settings/SettingsValueCheck.h"
#include "transfer/TransferOutcome.h"

#include <QDateTime>
#include <QDialog>
#include <functional>
#include <memory>

class QAction;
class QPushButton;
class QTabWidget;

namespace kx {

class CalibrationPage;
class CompareWindow;
class ConfigPage;
class CustomOutputPage;
class ErrorPanel;
class FieldBusPage;
class TicketPage;
class TransferPanel;

// The parameter editor: one settings record in the controls of its pages, change tracking,
// and a button bar that runs the document operations. It is made once, hidden between uses,
// and filled each time the main window opens it. Controls are bound to the record by their
// names in the settings table; the document side (files, questions, caption) is
// SettingsDocument's.
class TParameterForm : public QDialog, public SettingsEditorView
{
    Q_OBJECT
public:
    // programFolder: the program's folder; settings files live in its "SAVED" folder.
    // dialogs: the document's questions and file dialogs; null for real boxes over this window.
    explicit TParameterForm(const QString& programFolder, DocumentDialogs* dialogs = nullptr,
                            QWidget* parent = nullptr);
    ~TParameterForm() override;

    // The main window opens the editor: the next show fills the window (from the current
    // file, or a new record when there is none). A show without this request changes nothing.
    void setOpenedFromMainWindow() { showRequest_ = true; }
    bool showRequested() const { return showRequest_; }

    // Where the print mode lists come from on every show; without a holder the editor uses
    // the same KX7400 lists directly.

    SettingsDocument& document() { return *document_; }

    // The field-bus debug monitor is wanted (cleared on every show and on closing).
    // The field-bus debug monitor's line and button, as the monitor reports them.
    void showDebugLine(const QString& line);
    void showDebugRunning(bool running);

    // Fills the window with a new settings record (the New operation's and the first show's).
    void LoadDefaults();

    TransferPanel* transferPanel() const { return transferPanel_; }
    ErrorPanel* errorPanel() const { return errorPanel_; }
    // One status line in the transfer panel; see TransferPanel::ShowTransferStatus.
    void ShowTransferStatus(const QString& text, bool open, bool finish, bool replaceLast);

    // The PC's local time, replaceable so tests see a fixed clock.
    void setTimeSource(std::function<QDateTime()> now) { now_ = std::move(now); }

    // SettingsEditorView
    SettingsRecord record() const override;
    bool showRecord(const SettingsRecord& record, FillReason reason) override;
    void storeShownDefinition() override;
    bool changed() const override { return changed_; }
    void setChanged(bool on) override { changed_ = on; }
    bool keptChanges() const override { return keptChanges_; }
    void setKeptChanges(bool on) override { keptChanges_ = on; }
    // From creation until the end of the first requested show: change events are not edits.
    bool loading() const { return loading_; }
    void setCaption(const QString& caption) override;
    void setBusy(bool busy) override;
    void showErrorPanel(const QString& text) override;

    // The pages and the controls other parts reach directly.
    QWidget* BackPanel;
    QTabWidget* PageControl;
    ConfigPage* ConfigTab;
    CalibrationPage* CalTab;
    FieldBusPage* AnyBusTab;
    CustomOutputPage* CustomTab;
    TicketPage* TicketTab;
    QPushButton* FileNew;
    QPushButton* FileOpen;
    QPushButton* FileSave;
    QPushButton* FileSaveAs;
    QPushButton* FileUpload;
    QPushButton* FileDownload;
    QPushButton* FileLogbook;
    QPushButton* FileCompare;
    QAction* CompareIndicator;
    QAction* CompareFile;
    QPushButton* ScreenClose;

    // "Compare with KX7400…": the main window reads the indicator's setup as an upload and
    // hands over how that ended, with the setup read when it is whole; the compare window then
    // opens on a later turn, never inside the run's end.
    void compareReadEnded(const TransferResult& result, const QList<QByteArray>& setupRead);
    // "Send checked" ended: before anything went out (why), or as the download ended.
    void checkedSendRefused(const QString& why);
    // readBack: the indicator's setup as the verify read it after the send; empty when it did
    // not read it.
    void checkedSendEnded(const TransferResult& result, const QList<QByteArray>& readBack = {});
    // The compare window while it is open; null otherwise.
    CompareWindow* compareWindow() const { return compareWindow_; }

public slots:
    // The editor timer's tick refreshes the clock box while the editor is shown: the PC's
    // time as "hh:mm AM/PM" while the 12-hour format is chosen, "hh:mm" otherwise.
    void refreshClock();

signals:
    // The user closed the transfer panel with "OK"; lastLine is the status it ended on.
    void transferPanelClosed(const QString& lastLine);
    // The user pressed the panel's "Cancel" while a transfer ran.
    void transferCancelled();
    // Upload or Download was pressed: a running debug capture is to stop before the questions.
    void transferStarting();
    // Upload or Download, once the document's questions allow it.
    void uploadRequested();
    void downloadRequested();
    // "Compare with KX7400…", once the editor's file has passed its check: read the
    // indicator's setup into memory.
    void compareRequested();
    // The compare window's "Send checked": the download of setupRead with the checked rows
    // from the editor, whose checked setup is the document's next download.
    void checkedSendRequested(const QList<QByteArray>& setupRead);
    // "START DEBUG" / "STOP DEBUG".
    void debugClicked();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Every way of closing (Exit, the close box) comes through here: the close question.
    // The editor stays open only when the user asked for a save that did not happen.
    void reject() override;

private:
    void FormCreate();
    void FormShow();
    void makeButtonBar(QWidget* parent);
    void connectChangeHandlers();
    void fillPrintModes();
    void readCustomOutputs();

    bool ignoringEvents() const { return loading_ || filling_ > 0; }
    void ParameterChanged();
    void TimeEditChange();
    void RadioLBClick();
    void PrimaryUnitsChange();
    void syncCustomGroup();

    void NewButtonClick();
    void OpenButtonClick();
    void SaveButtonClick(SettingsDocument::SaveCaller caller);
    void CloseButtonClick();
    void compareWithIndicator();
    void compareWithFile();
    void openCompareWindow(SetupComparison comparison, const QString& otherName, bool canSend);

    std::unique_ptr<DocumentDialogs> ownDialogs_;
    std::unique_ptr<SettingsDocument> document_;
    ErrorPanel* errorPanel_;
    TransferPanel* transferPanel_;
    std::function<QDateTime()> now_;
    QString programFolder_;

    // The record last shown: what the pages that are not built keep, and the custom output
    // definitions and ticket fields until their pages hold them.
    SettingsRecord held_;

    bool loading_ = true; // from creation until the end of the first requested show
    bool changed_ = false;
    bool keptChanges_ = false;
    bool showRequest_ = false;
    bool closing_ = false;
    int filling_ = 0; // code is changing controls; change handlers stay quiet
    int busyDepth_ = 0;
    // The editor's side of the comparison under way, and the indicator's setup it was read with.
    std::optional<CheckedSettings> compared_;
    QList<QByteArray> setupRead_;
    CompareWindow* compareWindow_ = nullptr;
};

} // namespace kx
