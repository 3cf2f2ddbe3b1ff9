#pragma once

#include "settings/OutputDefinition.h"

#include <QWidget>
#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QTabWidget;

namespace kx {

class OutputBuildPage;
class OutputLoadPage;
class OutputSettingsPage;
class OutputTokensPage;
class OutputWeightsPage;
class SettingsEditorView;

// What the custom output tab reads from the rest of the editor.
struct CustomOutputHost
{
    SettingsEditorView* view = nullptr;   // the changed and kept-changes flags
    std::function<bool()> ignoringEvents; // the editor is filling its controls
    std::function<int()> primaryUnits;    // the calibration page's choices, for presets
    std::function<int()> divisionIndex;
    std::function<bool()> automaticPrint; // COM1's print mode is "Automatic"
    QString programFolder;                // where "Custom.Tmp" goes
};

// The editor's "Cus&tom Output" tab: one port's custom output definition in the controls of
// five sub-pages, and the COM selector that switches between the two definitions. The
// definitions themselves are key=value lists (OutputDefinition); the stream arithmetic and the
// presets are core functions.
class CustomOutputPage : public QWidget
{
    Q_OBJECT
public:
    explicit CustomOutputPage(CustomOutputHost host, QWidget* parent = nullptr);

    QComboBox* ComBox;
    QTabWidget* OutputPages;
    OutputSettingsPage* SettingsPage;
    OutputLoadPage* LoadPage;
    OutputBuildPage* BuildPage;
    OutputTokensPage* TokensPage;
    OutputWeightsPage* WeightsPage;

    // The two definitions as kept (COM1 first); the shown port's controls are stored into its
    // definition by StorePortDefinition.
    const std::array<OutputDefinition, 2>& definitions() const { return defs_; }
    void setDefinitions(const OutputDefinition& com1, const OutputDefinition& com2);
    int currentPort() const { return port_; }

    // Shows or hides the COM selector ("Custom Outputs" 2) and sets it to COM1.
    void setTwoOutputs(bool two);
    // The selector is offered: the second output's definition can be edited and is sent.
    bool twoOutputs() const { return twoOutputs_; }

    bool LoadPortDefinition(int port);
    bool StorePortDefinition(int port);
    void ResetBuilderView();
    void ApplyPreset(int tag);
    void ComBoxClick();

private:
    void showDefinition(const OutputDefinition& d, bool codesFromKeys);
    void confirmPreset(int tag);
    void edit();

    CustomOutputHost host_;
    std::array<OutputDefinition, 2> defs_;
    int port_ = 0;
    bool twoOutputs_ = false;
    QByteArray source_;
};

} // namespace kx
