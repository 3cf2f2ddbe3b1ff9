#pragma once

#include "firmware/FirmwareUpdate.h"
#include "session/LineSession.h"
#include "link/PanelDialogs.h"
#include "link/PortSettings.h"
#include "session/EditorView.h"

#include <QSet>
#include <QWidget>
#include <array>
#include <memory>

class QLabel;

namespace kx {

class ClickLabel;
class FaceKey;
class Mark;
class PanelPicture;
class SegmentLabel;
class DocumentDialogs;
class TComForm;
class THelpAboutForm;
class ManualLauncher;
class ReportEntry;
class TParameterForm;
class TrendFeed;
class TrendWindow;
class UpdatePanel;

// The main window: the indicator's face. It draws what the face model decides and
// forwards clicks and keys to it; it also owns the program's dialogs.
class TMainForm : public QWidget, public PanelDialogs, public EditorView
{
    Q_OBJECT
public:
    // editorDialogs: the editor's questions and file dialogs; null for the real ones.
    explicit TMainForm(const QString& folder, Clock& clock, std::unique_ptr<SerialDevice> mainPort,
                       DocumentDialogs* editorDialogs = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    LineSession& panel() { return *panel_; }
    PortSettings& portSettings() { return port_; }
    // The dialogs are made when first asked for: the face starts without building them.
    TComForm* ComForm();
    TParameterForm* ParameterForm();
    THelpAboutForm* HelpAboutForm();
    ManualLauncher& manualLauncher() { return *launcher_; }
    FirmwareUpdate& firmwareUpdate() { return *firmware_; }
    UpdatePanel* updatePanel() const { return updatePanel_; }
    // The weight over time: the feed runs from the start, the window is made when Ctrl+T
    // first asks for it (null until then).
    TrendFeed& trendFeed() { return *trendFeed_; }
    TrendWindow* trendWindow() const { return trendWindow_; }
    void showTrendWindow();
    // "Report…" (Ctrl+R, and the window's context menu): the service report of the visit.
    ReportEntry& reportEntry();

    // PanelDialogs
    void showPortSettings() override;
    void showPortError(const QString& text, const QString& detail) override;
    void beep() override;
    void showAbout() override;
    void showFirmwareUpdate() override;
    void showWarning(const QString& caption, const QString& text) override;
    void terminate() override;

    // EditorView
    void showParameterEditor() override;
    void ShowTransferStatus(const QString& line, bool open, bool finish, bool replaceLast) override;
    TransferInputs transferInputs() override;
    void refreshEditorClock() override;
    void showDebugLine(const QString& line) override;
    void showDebugRunning(bool running) override;
    void transferEnded(const TransferResult& result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The editor's transfer buttons and panel, to the session's transfer control.
    void connectTransfers();
    void buildFace();
    void render();

    const QString folder_;
    DocumentDialogs* editorDialogs_ = nullptr;
    PortSettings port_;
    std::unique_ptr<LineSession> panel_;
    // The firmware update, on a port of its own; idle until F3.
    UpdatePanel* updatePanel_ = nullptr;
    std::unique_ptr<FirmwareUpdate> firmware_;
    TComForm* comForm_ = nullptr;
    TParameterForm* parameterForm_ = nullptr;
    std::unique_ptr<ManualLauncher> launcher_;
    THelpAboutForm* aboutForm_ = nullptr;
    std::unique_ptr<TrendFeed> trendFeed_;
    TrendWindow* trendWindow_ = nullptr;
    ReportEntry* report_ = nullptr;
    bool readerSetUp_ = false;
    // The last transfer ended with a complete upload: OK on its panel keeps it as a file.
    bool uploadToKeep_ = false;
    // What the editor's transfer under way is for: its own Upload or Download, the compare
    // window's read, or its "Send checked"; told to the editor when the run ends.
    enum class EditorRun
    {
        Plain,
        CompareRead,
        CheckedSend,
        ReportRead
    } run_ = EditorRun::Plain;
    // Keys pressed while the face had the keyboard. The face acts on a key's release, and
    // must not act on the release of an Enter whose press closed a dialog.
    QSet<int> pressedKeys_;

    PanelPicture* BlueLineImage = nullptr;
    QWidget* WeighPanel = nullptr;
    QWidget* WeightPanel = nullptr;
    SegmentLabel* Weight = nullptr;
    SegmentLabel* TareWt = nullptr;
    Mark* CenterOfZero = nullptr;
    std::array<Mark*, 6> marks_{}; // NetArrow, lb, g, kg, oz, BatteryArrow
    std::array<FaceKey*, 5> keys_{};
    FaceKey* OnOffButton = nullptr;
    QLabel* ConnectedLabel = nullptr;
    QLabel* LogLabel = nullptr;
    QLabel* LineLabel = nullptr;
    QLabel* CommandSent = nullptr;
    std::array<ClickLabel*, 5> bottomBar_{};
    QLabel* ShuttingDownPanel = nullptr;
};

} // namespace kx
