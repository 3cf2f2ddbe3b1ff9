#pragma once

#include "cli/ExitStatus.h"
#include "cli/LineChoice.h"
#include "session/LineSession.h"
#include "link/PortSettings.h"

#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace kx::cli {

// The line given to the transfer, as the parameter editor has it, for as long as this lives.
class LentLine
{
public:
    explicit LentLine(LineSession& session) : session_(session), lent_(session.lendLineToTransfer()) {}
    ~LentLine()
    {
        if (lent_)
            session_.takeLineFromTransfer();
    }
    LentLine(const LentLine&) = delete;
    LentLine& operator=(const LentLine&) = delete;
    explicit operator bool() const { return lent_; }

private:
    LineSession& session_;
    bool lent_;
};

// One line's session driven without a window: the command goes on from what the session tells
// (an open's end, a transfer's or a debug run's end); status lines go to standard error.
class CliSession : public PanelDialogs, public EditorView
{
public:
    CliSession(const QString& programFolder, const LineChoice& line, bool quiet);
    ~CliSession() override;

    // Opens the main port and tells done on a later turn of the loop whether it opened;
    // lastError() says why not. An open still waiting after OpenLimitMs ends not opened.
    void openThen(std::function<void(bool opened)> done);
    // Starts the open and returns at once: the panel's openFinished tells its end. False,
    // with lastError() saying why, when there is no port to open.
    bool beginOpen(LineSession::OpenDone then = {});
    QString lastError() const;
    // One line among several: what it says on standard error starts with its name.
    void setName(const QString& name) { name_ = name; }
    // A message of this line on standard error, a line each, after its name when it has one.
    void say(const QString& text) const;
    // Keys the face refused (its error sound) since the session began.
    int beeps() const { return beeps_; }
    LineSession& panel() { return *panel_; }
    PortSettings& port() { return *port_; }
    const QString& folder() const { return folder_; }
    // Whether a protocol log was asked for and is not whole: it could not be opened, or it
    // stopped. Told on standard error at the moment it happens.
    static bool protocolLogLost();
    // Whether a write of this process reached an indicator and its logbook line could not be
    // written. Said on standard error (under -q too) when it happens.
    static bool logbookLineLost();

    // The transfer status lines of the last transfer, and how it ended (nothing while it runs).
    const QStringList& transferLines() const { return lines_; }
    const std::optional<TransferResult>& transferResult() const { return transferResult_; }
    // How the last debug monitor run ended (nothing while it runs).
    const std::optional<DebugResult>& debugResult() const { return debugResult_; }
    // The editor's side of a transfer: the file a download sends and what stands in for the
    // editor's controls.
    TransferInputs inputs;

    // PanelDialogs
    void showPortSettings() override {}
    void showPortError(const QString& text, const QString& detail) override;
    void beep() override { ++beeps_; }
    void showAbout() override {}
    void showFirmwareUpdate() override {}
    void showWarning(const QString& caption, const QString& text) override;
    void terminate() override {}
    // EditorView
    // Never asked for: kxlink-cli lends the line to the transfer itself (LentLine).
    void showParameterEditor() override {}
    void ShowTransferStatus(const QString& text, bool open, bool finish, bool replaceLast) override;
    void refreshEditorClock() override {}
    void showDebugLine(const QString& line) override;
    void showDebugRunning(bool) override {}
    TransferInputs transferInputs() override { return inputs; }
    void transferEnded(const TransferResult& result) override;
    void debugEnded(const DebugResult& result) override;

    // Told from inside the engines, as they happen: a listener goes on from a later turn.
    std::function<void(const QString&)> onDebugLine;
    std::function<void(const TransferResult&)> onTransferEnded;
    std::function<void()> onDebugEnded;

private:
    // Far beyond the open's own waits (about 1.3 s); only a wedged device reaches it.
    static constexpr int OpenLimitMs = 10000;

    QString folder_;
    QString name_;
    std::unique_ptr<PortSettings> port_;
    std::unique_ptr<LineSession> panel_;
    QStringList lines_;
    std::optional<TransferResult> transferResult_;
    std::optional<DebugResult> debugResult_;
    bool quiet_;
    int beeps_ = 0;
    QString portError_;
    std::function<void(bool)> openDone_;
    QTimer openLimit_;

    void endOpen(bool opened);
    QString prefix() const;
};

} // namespace kx::cli
