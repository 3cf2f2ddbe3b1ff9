#include "editor/CustomOutputPage.h"

#include "editor/OutputBuildPage.h"
#include "editor/OutputFormPages.h"
#include "editor/OutputTokensPage.h"
#include "editor/RecordBinding.h"
#include "settings/OutputPresets.h"
#include "settings/SafeSave.h"
#include "settings/SettingsEditorView.h"
#include "settings/SettingsSchema.h"
#include "widgets/AccessibleControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kx {

Q_LOGGING_CATEGORY(lcBuilder, "kx.editor.builder")

namespace {

const char* const kCodeKeys[] = {"Poll Char Token", "Start Char Token", "Stop Char Token",
                                 "Block Char Token"};
const char* const kTokenKeys[] = {"Poll Token", "Start Token", "Stop Token", "Block Token"};

int leadingInt(const QByteArray& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : 0;
}

} // namespace

CustomOutputPage::CustomOutputPage(CustomOutputHost host, QWidget* parent)
    : QWidget(parent), host_(std::move(host))
{
    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Custom Format "), this));
    ComBox = new QComboBox(this);
    nameControl(ComBox, QStringLiteral("ComBox"));
    ComBox->addItems(
        {QStringLiteral("COM1 - Custom Format"), QStringLiteral("COM2 - Custom Format")});
    top->addWidget(ComBox);
    top->addStretch();
    column->addLayout(top);

    OutputPages = new QTabWidget(this);
    nameControl(OutputPages, QStringLiteral("OutputPages"));
    SettingsPage = new OutputSettingsPage(OutputPages);
    LoadPage = new OutputLoadPage(OutputPages);
    BuildPage = new OutputBuildPage(OutputPages);
    TokensPage = new OutputTokensPage(OutputPages);
    WeightsPage = new OutputWeightsPage(OutputPages);
    const struct
    {
        QWidget* page;
        const char* name;
        const char* caption;
    } pages[] = {{SettingsPage, "SettingsSheet", "  S&ettings   "},
                 {LoadPage, "LoadSheet", "    &Load     "},
                 {BuildPage, "BuildSheet", "    &Build     "},
                 {TokensPage, "TokensSheet", "   To&kens    "},
                 {WeightsPage, "WeightsSheet", "   &Weights     "}};
    for (const auto& p : pages) {
        const QString caption = QString::fromLatin1(p.caption);
        OutputPages->addTab(p.page, caption);
        nameControl(p.page, QString::fromLatin1(p.name));
        p.page->setAccessibleName(withoutMnemonic(caption).trimmed());
    }
    column->addWidget(OutputPages, 1);

    // Each list's items and each box's typing limit come from the custom output key table.
    for (const OutputKeyDesc& k : outputKeys()) {
        if (!k.control)
            continue;
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(k.control));
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (const char* option : k.options)
                combo->addItem(QString::fromLatin1(option));
            connect(combo, &QComboBox::currentIndexChanged, this, &CustomOutputPage::edit);
        } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
            // Limits typing only: a longer value from a file is shown and saved whole.
            RecordBinding::limitTyping(line, k.maxLength, k.key);
            connect(line, &QLineEdit::textChanged, this, &CustomOutputPage::edit);
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            connect(box, &QCheckBox::toggled, this, &CustomOutputPage::edit);
        }
    }
    BuildPage->setDelimited([this] { return SettingsPage->Delimited->currentIndex() == 1; });
    BuildPage->setAutomaticMenu([this] { return host_.automaticPrint && host_.automaticPrint(); });
    connect(BuildPage, &OutputBuildPage::edited, this, &CustomOutputPage::edit);
    connect(TokensPage, &OutputTokensPage::edited, this, &CustomOutputPage::edit);
    connect(SettingsPage->Delimited, &QComboBox::activated, BuildPage,
            [this] { BuildPage->RebuildStreamFormat(); });
    connect(LoadPage, &OutputLoadPage::presetConfirmed, this, &CustomOutputPage::confirmPreset);
    connect(ComBox, &QComboBox::activated, this, &CustomOutputPage::ComBoxClick);
    setTwoOutputs(false);
}

void CustomOutputPage::edit()
{
    if (host_.view && !(host_.ignoringEvents && host_.ignoringEvents()))
        host_.view->setChanged(true);
}

void CustomOutputPage::setDefinitions(const OutputDefinition& com1, const OutputDefinition& com2)
{
    defs_ = {com1, com2.isEmpty() ? com1 : com2};
}

void CustomOutputPage::setTwoOutputs(bool two)
{
    twoOutputs_ = two;
    ComBox->setVisible(two);
    ComBox->setEnabled(two);
    ComBox->setCurrentIndex(0);
}

bool CustomOutputPage::LoadPortDefinition(int port)
{
    if (port == 0 || port == 1) {
        const bool edits = host_.view && (host_.view->changed() || host_.view->keptChanges());
        if (port != port_ && edits)
            StorePortDefinition(port_);
        port_ = port;
    } else {
        // Loading a file: the selector shows COM1 as its controls do, so that a preset
        // confirmed next goes to the definition on view.
        port_ = 0;
        ComBox->setCurrentIndex(0);
    }
    const OutputDefinition& d = defs_[size_t(port_)];
    // A scratch copy of the definition just loaded; nothing reads it back.
    QString error;
    if (!host_.programFolder.isEmpty() &&
        !saveFile(QDir(host_.programFolder).filePath(QStringLiteral("Custom.Tmp")), d.toText(),
                  &error))
        qCWarning(lcBuilder) << "Custom.Tmp not written:" << error;
    try {
        showDefinition(d, false);
    } catch (...) {
        return true;
    }
    return false;
}

void CustomOutputPage::showDefinition(const OutputDefinition& d, bool codesFromKeys)
{
    source_ = d.value("Stream Format");
    for (const OutputKeyDesc& k : outputKeys()) {
        if (!k.control)
            continue;
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(k.control));
        const QByteArray value = d.value(k.key);
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const int index = leadingInt(value);
            combo->setCurrentIndex(index < combo->count() ? index : -1);
        } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
            RecordBinding::setTypedText(line, QString::fromLatin1(value));
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            box->setChecked(leadingInt(value) == 1);
        }
    }
    for (int w = 0; w < 4; ++w) {
        const int stored = leadingInt(d.value(kCodeKeys[w]));
        const OutputKeyDesc* token = findOutputKey(kTokenKeys[w]);
        const int code =
            codesFromKeys ? stored
                          : wrapperCode(*token, TokensPage->tokenLists[w]->currentIndex(), stored);
        TokensPage->setCode(OutputTokensPage::Wrapper(w), code);
    }
    TokensPage->syncWrapperBoxes();
}

bool CustomOutputPage::StorePortDefinition(int port)
{
    OutputDefinition& d = defs_[port == 1 ? 1 : 0];
    d.setValue("Stream Format", BuildPage->builtStream());
    for (const OutputKeyDesc& k : outputKeys()) {
        if (!k.control)
            continue;
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(k.control));
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (combo->currentIndex() >= 0)
                d.setValue(k.key, QByteArray::number(combo->currentIndex()));
        } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
            const QByteArray text = line->text().toLatin1();
            bool ok = false;
            const int n = text.trimmed().toInt(&ok);
            if (qstrcmp(k.key, "Weight Digits") == 0) {
                if (ok && n > 0)
                    d.setValue(k.key, text);
            } else if (qstrcmp(k.key, "Fixed Decimal Places") == 0) {
                if (!ok || n >= 0)
                    d.setValue(k.key, text);
            } else {
                d.setValue(k.key, text);
            }
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            d.setValue(k.key, box->isChecked() ? "1" : "0");
        }
    }
    for (int w = 0; w < 4; ++w)
        d.setValue(kCodeKeys[w],
                   QByteArray::number(TokensPage->code(OutputTokensPage::Wrapper(w))));
    return false;
}

void CustomOutputPage::ResetBuilderView()
{
    TokensPage->resetTargets();
    BuildPage->clearRows();
    BuildPage->ParseStreamFormat(source_);
    BuildPage->RebuildStreamFormat();
    OutputPages->setCurrentWidget(SettingsPage);
}

void CustomOutputPage::ApplyPreset(int tag)
{
    // The preset is laid over the controls as they stand, so keys it leaves alone keep them.
    StorePortDefinition(port_);
    OutputDefinition base = defs_[size_t(port_)];
    const int units = host_.primaryUnits ? host_.primaryUnits() : 0;
    const int division = host_.divisionIndex ? host_.divisionIndex() : -1;
    const OutputDefinition preset = applyPreset(base, tag, units, division);
    const QByteArray kept = source_;
    showDefinition(preset, true);
    // A tag without a layout of its own (ShipPoint) leaves the stream as it was.
    if (tag < preset::Toledo || tag > preset::Plc)
        source_ = kept;
    for (QPushButton* box : TokensPage->charBoxes)
        box->hide();
    TokensPage->PollStr_Text->hide();
}

void CustomOutputPage::confirmPreset(int tag)
{
    BuildPage->clearRows();
    ApplyPreset(tag);
    ResetBuilderView();
    SettingsPage->Checksum->setCurrentIndex(0);
    StorePortDefinition(port_);
    if (host_.view)
        host_.view->setChanged(true);
}

void CustomOutputPage::ComBoxClick()
{
    // Choosing the port already shown again is no switch: reloading it would put the stored
    // definition over unsaved edits.
    if ((host_.ignoringEvents && host_.ignoringEvents()) || ComBox->currentIndex() < 0 ||
        ComBox->currentIndex() == port_)
        return;
    if (host_.view && host_.view->changed())
        host_.view->setKeptChanges(true);
    LoadPortDefinition(ComBox->currentIndex());
    ResetBuilderView();
    if (host_.view)
        host_.view->setChanged(false);
}

} // namespace kx
