#pragma once

#include "firmware/BootstrapLoader.h"
#include "firmware/FirmwareUpdateView.h"
#include "firmware/UpdateHost.h"
#include "link/SerialChannel.h"
#include "link/Timer.h"

#include <QString>
#include <chrono>
#include <memory>
#include <optional>

namespace kx {

// How the status label looks; the transfer swaps the first two every 20 lines.
enum class LabelLook
{
    YellowOnRed, // yellow bold text on red
    RedOnYellow, // red bold text on yellow
    WhiteOnNavy  // regular white text on the panel's navy: the transfer has ended
};

// Everything the progress panel shows.
struct UpdatePanelState
{
    bool visible = false; // Progress_Panel
    QString label;        // ScanLabel
    LabelLook look = LabelLook::YellowOnRed;
    int barMax = 0;
    int barPosition = 0;
    bool retryVisible = false;
    bool closeVisible = false;
    bool waitVisible = false; // HoldYourHorses
    // Lines sent of the total and the estimated time left while the transfer runs; why it
    // failed once it has.
    QString detail;
};

// Where a firmware update stands.
enum class UpdatePhase
{
    Idle,             // no update: the poll cycle has the line
    Checking,         // the loader port is open; the file is being chosen and checked
    WaitingForLoader, // the enter message is due or out, not yet accepted
    Sending,          // the loader accepted the enter message: lines and the end message
    Reloading,        // the loader took the end message; the indicator restarts
    Done,             // "Transfer Complete!!": Close, or the repeat
    Failed,           // "Transfer Failed!": Retry or Close
};

// The firmware update inside the main window: it takes the link from the poll cycle, opens
// the loader port with the main port's settings, checks the chosen file, runs the
// bootstrap-loader transfer, and hands the link back on Close.
class FirmwareUpdate : private BootstrapLoaderListener
{
public:
    static constexpr std::chrono::milliseconds RetryInterval{2500};
    // Ticks the indicator is given to restart after a successful load.
    static constexpr int ReloadTicks = 100;
    static constexpr int SwapEvery = 20;

    FirmwareUpdate(Clock& clock, std::unique_ptr<SerialDevice> loaderDevice, UpdateHost& host,
                   FirmwareUpdateView& view, QString folder);
    ~FirmwareUpdate() override;
    FirmwareUpdate(const FirmwareUpdate&) = delete;
    FirmwareUpdate& operator=(const FirmwareUpdate&) = delete;

    void F3UpdateButtonClick();
    void StartTransfer(const QString& path);
    void RetryUpdateClick();
    void CloseUpdateClick();
    void RetryTimerTimer();
    // The program is closing: whatever runs stops, the panel and the log go, the loader port
    // closes; the line is not given back to polling.
    void closeRequested();
    // Enter and Escape close the finished update; true when the key was taken.
    bool FormKeyUp(int key);

    UpdatePhase phase() const { return phase_; }
    // True from F3 until Close: the loader port, not the poll cycle, has the line.
    bool active() const { return phase_ != UpdatePhase::Idle; }
    // How the last run ended; none before the first end.
    const std::optional<UpdateEnd>& lastEnd() const { return lastEnd_; }
    const UpdatePanelState& panel() const { return panel_; }
    const BootstrapLoader& loader() const { return loader_; }
    SerialChannel& ScalePort() { return *ScalePort_; }
    void setStopCheck(std::function<bool()> check) { loader_.setStopCheck(std::move(check)); }
    const Timer& retryTimer() const { return RetryTimer; }
    bool reloadWaiting() const { return reloadTimer_ != 0; }
    const QString& updateFile() const { return UpdateFile; }

private:
    void ReportProgress(int position, int total) override;
    void loaderEntered() override;
    void loaderEnded(const UpdateEnd& end) override;
    bool shuttingDown() const override { return host_.shuttingDown(); }
    bool progressPanelShown() const override { return panel_.visible; }
    void logChanged() override { view_.updatePanelChanged(false); }

    void reloaded();
    void stopAll();
    // Ends the run and hides its panel and log; the line stays with the loader port closed.
    void windUp();
    void readLoaderSettings();
    void prepareLoaderPort();
    void closeLoaderPort();
    void showPanel();
    QString fileName() const;

    Clock& clock_;
    UpdateHost& host_;
    FirmwareUpdateView& view_;
    QString folder_;
    std::unique_ptr<SerialChannel> ScalePort_;
    BootstrapLoader loader_;
    Timer RetryTimer;
    Clock::TimerId reloadTimer_ = 0;
    UpdatePhase phase_ = UpdatePhase::Idle;
    std::optional<UpdateEnd> lastEnd_;
    // The next progress report is the first of a run: it sets the bar's range afresh.
    bool firstReport_ = false;
    UpdatePanelState panel_;
    QString UpdateFile;
    QByteArray imageSha256_;
    quint16 ReplyTimer = 0;
    qint64 firstLineMs_ = 0;
};

} // namespace kx
