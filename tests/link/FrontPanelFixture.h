#pragma once

#include "FakeSerialDevice.h"
#include "link/FrontPanel.h"
#include "link/SteppedClock.h"

#include <QTemporaryDir>
#include <functional>

namespace kx::test {

// Records what the front panel asks of its windows.
struct RecordingHost : FrontPanelHost
{
    int portDialogs = 0;
    int editors = 0;
    int beeps = 0;
    int terminated = 0;
    int clockRefreshes = 0;
    bool editorShown = false;
    QStringList portErrors;
    QStringList transferLines;
    std::function<void()> onPortDialog;
    std::function<void()> onEditor;

    void showPortSettings() override
    {
        ++portDialogs;
        if (onPortDialog)
            onPortDialog();
    }
    void showPortError(const QString& text, const QString&) override { portErrors << text; }
    void showErrorBox(const QString& text) override { portErrors << text; }
    void beep() override { ++beeps; }
    bool editorVisible() const override { return editorShown; }
    void showParameterEditor() override
    {
        ++editors;
        editorShown = true;
        if (onEditor)
            onEditor();
        editorShown = false;
    }
    void showAbout() override {}
    void showFirmwareUpdate() override {}
    void showTransferStatus(const QString& line, bool) override { transferLines << line; }
    void refreshEditorClock() override { ++clockRefreshes; }
    void terminate() override { ++terminated; }
};

// A front panel on a scripted port, a stepped clock and a temporary program folder.
struct FrontPanelFixture
{
    QTemporaryDir dir;
    SteppedClock clock{0};
    FakeSerialDevice* device = nullptr;
    PortSettings port{dir.path()};
    RecordingHost host;
    std::unique_ptr<FrontPanel> panel;

    explicit FrontPanelFixture(int mode = 0)
    {
        auto dev = std::make_unique<FakeSerialDevice>();
        device = dev.get();
        port.ComNo = QStringLiteral("1");
        port.Mode = mode;
        panel = std::make_unique<FrontPanel>(clock, std::move(dev), port, host);
        panel->FormCreate();
        panel->PortSettingsLoaded = true;
    }

    // Opens the port and starts polling, as the first tick would.
    void connect()
    {
        panel->FirstOpen = false;
        panel->OpenComPort();
        panel->PollTimer.start();
        device->takeWritten();
    }

    static QByteArray frame(const QByteArray& weight, char status = '_',
                            const QByteArray& units = "LB", const QByteArray& mode = "GR")
    {
        QByteArray f = weight.rightJustified(7, ' ') + status + units + ' ' + mode + "    ";
        return f.left(17) + char(0x04);
    }

    const FaceState& face() const { return panel->faceState(); }
};

} // namespace kx::test
