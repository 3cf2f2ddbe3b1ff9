#pragma once

#include "FakeSerialDevice.h"
#include "session/LineSession.h"
#include "link/SteppedClock.h"

#include <QTemporaryDir>
#include <functional>

namespace kx::test {

// Records what the front panel asks of its windows.
struct RecordingHost : PanelDialogs, EditorView
{
    int portDialogs = 0;
    int editors = 0;
    int beeps = 0;
    int terminated = 0;
    int clockRefreshes = 0;
    int firmwareUpdates = 0;
    QStringList warnings;
    bool editorShown = false;
    QStringList portErrors;
    QStringList transferLines;
    bool transferRunning = false;
    TransferInputs inputs;
    QStringList debugLines;
    QList<bool> debugRunning;
    std::function<void()> onPortDialog;
    std::function<void()> onEditor;

    void showPortSettings() override
    {
        ++portDialogs;
        if (onPortDialog)
            onPortDialog();
    }
    void showPortError(const QString& text, const QString& detail) override
    {
        portErrors << text;
        portErrorDetails << detail;
    }
    QStringList portErrorDetails;
    void beep() override { ++beeps; }
    void showParameterEditor() override
    {
        ++editors;
        editorShown = true;
        if (onEditor)
            onEditor();
        editorShown = false;
    }
    void showAbout() override {}
    void showFirmwareUpdate() override { ++firmwareUpdates; }
    void showWarning(const QString& caption, const QString& text) override
    {
        warnings << caption + ": " + text;
    }
    // The panel as the user reads it: a replaced line takes the last one's place.
    void ShowTransferStatus(const QString& line, bool open, bool finish, bool replaceLast) override
    {
        if (open) {
            transferLines.clear();
            transferRunning = true;
        } else if (finish) {
            transferRunning = false;
        }
        if (replaceLast && !transferLines.isEmpty())
            transferLines.last() = line;
        else
            transferLines << line;
    }
    TransferInputs transferInputs() override { return inputs; }
    QList<TransferResult> results;
    void transferEnded(const TransferResult& r) override { results << r; }
    void refreshEditorClock() override { ++clockRefreshes; }
    void showDebugLine(const QString& line) override { debugLines << line; }
    void showDebugRunning(bool running) override { debugRunning << running; }
    void terminate() override { ++terminated; }
};

// A session on port 1 of a program folder, in the poll mode given (0 CONTINUOUS, 1 DEMAND),
// its port settings read, not yet open.
template <typename Host>
std::unique_ptr<LineSession> makeSession(Clock& clock, std::unique_ptr<SerialDevice> device,
                                         PortSettings& port, Host& host, int mode)
{
    port.ComNo = QStringLiteral("1");
    port.Mode = mode;
    auto session = std::make_unique<LineSession>(clock, std::move(device), port, host, host);
    session->FormCreate();
    session->setPortSettingsLoaded();
    return session;
}

// A front panel on a scripted port, a stepped clock and a temporary program folder.
struct FrontPanelFixture
{
    QTemporaryDir dir;
    SteppedClock clock{0};
    FakeSerialDevice* device = nullptr;
    PortSettings port{dir.path()};
    RecordingHost host;
    std::unique_ptr<LineSession> panel;

    explicit FrontPanelFixture(int mode = 0)
    {
        // The exchanges themselves; the backup before a write is for the tests about it.
        port.BackupBeforeWrite = false;
        auto dev = std::make_unique<FakeSerialDevice>();
        device = dev.get();
        panel = makeSession(clock, std::move(dev), port, host, mode);
    }

    // Opens the port and starts polling, as the first tick would.
    void connect()
    {
        panel->FirstOpen = false;
        open();
        pollTimer().start();
        device->takeWritten();
    }

    // Opens the port and steps the clock, a millisecond at a time, until the open has ended.
    void open()
    {
        panel->OpenComPort();
        finishOpen();
    }
    void finishOpen()
    {
        while (panel->opening())
            clock.advance(1);
    }

    Timer& pollTimer() { return panel->poll_.pollTimer(); }
    bool allFourNotificationsArmed() const
    {
        return panel->link().notificationsArmed();
    }
    const PollCycle& poll() const { return panel->pollCycle(); }

    static QByteArray frame(const QByteArray& weight, char status = '_',
                            const QByteArray& units = "LB", const QByteArray& mode = "GR")
    {
        QByteArray f = weight.rightJustified(7, ' ') + status + units + ' ' + mode + "    ";
        return f.left(17) + char(0x04);
    }

    const FaceState& face() const { return panel->faceState(); }
};

} // namespace kx::test
