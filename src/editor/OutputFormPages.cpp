#include "editor/OutputFormPages.h"

#include "editor/PageBuilder.h"
#include "settings/OutputPresets.h"
#include "widgets/AccessibleControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kx {

using namespace PageBuilder;

OutputSettingsPage::OutputSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    QGroupBox* port = group(this, QStringLiteral(" Additional Port Settings "),
                            QStringLiteral("PortSettingsGroup"));
    QFormLayout* portForm = formIn(port);
    Checksum = comboRow(portForm, QStringLiteral("Checksum"), QStringLiteral("Checksum"));
    Delimited = comboRow(portForm, QStringLiteral("Delimited"), QStringLiteral("Delimited"));
    QGroupBox* hand =
        group(this, QStringLiteral(" Hardware Hand Shaking "), QStringLiteral("HandShakingGroup"));
    auto* handRow = new QHBoxLayout(hand);
    HdwHandShaking = new QComboBox(hand);
    nameControl(HdwHandShaking, QStringLiteral("HdwHandShaking"));
    handRow->addWidget(HdwHandShaking);
    handRow->addWidget(new QLabel(QStringLiteral("(for future use)"), hand));
    handRow->addStretch();
    column->addWidget(port);
    column->addWidget(hand);
    column->addStretch();
}

OutputWeightsPage::OutputWeightsPage(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    QGroupBox* weight = group(this, QStringLiteral(" Weight "), QStringLiteral("WeightGroup"));
    QFormLayout* form = formIn(weight);
    Weight_Digits = editRow(form, QStringLiteral("Weight Digits"), QStringLiteral("Weight_Digits"));
    Decimal_Point =
        comboRow(form, QStringLiteral("Decimal Point"), QStringLiteral("Decimal_Point"));
    Justify = comboRow(form, QStringLiteral("Justification"), QStringLiteral("Justify"));
    Fixed_Decimals =
        editRow(form, QStringLiteral("Fixed Decimal Places"), QStringLiteral("Fixed_Decimals"));
    Leading_Zeroes =
        comboRow(form, QStringLiteral("Leading Zeroes"), QStringLiteral("Leading_Zeroes"));
    QGroupBox* polarity =
        group(this, QStringLiteral(" Polarity "), QStringLiteral("PolarityGroup"));
    auto* polarityColumn = new QVBoxLayout(polarity);
    Include_Polarity =
        check(polarity, QStringLiteral("Include Polarity"), QStringLiteral("Include_Polarity"));
    polarityColumn->addWidget(Include_Polarity);
    auto* polarityForm = new QFormLayout;
    polarityColumn->addLayout(polarityForm);
    Positive_Token =
        comboRow(polarityForm, QStringLiteral("Positive Token"), QStringLiteral("Positive_Token"));
    Negative_Token =
        comboRow(polarityForm, QStringLiteral("Negative Token"), QStringLiteral("Negative_Token"));
    polarityColumn->addStretch();
    row->addWidget(weight, 1, Qt::AlignTop);
    row->addWidget(polarity, 1, Qt::AlignTop);
}

OutputLoadPage::OutputLoadPage(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    QGroupBox* presets =
        group(this, QStringLiteral(" Load Default  "), QStringLiteral("LoadDefaultGroup"));
    auto* buttons = new QVBoxLayout(presets);
    for (const PresetButton& p : kx::presetButtons()) {
        const QString caption = QString::fromLatin1(p.caption);
        QRadioButton* b = radio(presets, caption, QStringLiteral("Default_") + caption.trimmed());
        b->setAutoExclusive(true);
        b->setProperty("tag", p.tag);
        b->setVisible(p.shown);
        buttons->addWidget(b);
        presetButtons.append(b);
        connect(b, &QRadioButton::clicked, this, [this, b] { DefaultStringClick(b); });
    }
    column->addWidget(presets);
    column->addStretch();

    VerifyPanel = new QFrame(this);
    nameControl(VerifyPanel, QStringLiteral("VerifyPanel"));
    VerifyPanel->setAutoFillBackground(true);
    QPalette red = VerifyPanel->palette();
    red.setColor(QPalette::Window, Qt::red);
    red.setColor(QPalette::WindowText, Qt::white);
    VerifyPanel->setPalette(red);
    auto* panelRow = new QHBoxLayout(VerifyPanel);
    auto* question =
        new QLabel(QStringLiteral("Are you sure?? Current settings will be lost!"), VerifyPanel);
    VerifyDefault_Button = new QPushButton(QStringLiteral("OK"), VerifyPanel);
    nameControl(VerifyDefault_Button, QStringLiteral("VerifyDefault_Button"));
    CancelDefault_Button = new QPushButton(QStringLiteral("Cancel"), VerifyPanel);
    nameControl(CancelDefault_Button, QStringLiteral("CancelDefault_Button"));
    panelRow->addWidget(question, 1);
    panelRow->addWidget(VerifyDefault_Button);
    panelRow->addWidget(CancelDefault_Button);
    VerifyPanel->hide();
    column->addWidget(VerifyPanel);

    connect(CancelDefault_Button, &QPushButton::clicked, this, &OutputLoadPage::closePanel);
    connect(VerifyDefault_Button, &QPushButton::clicked, this, [this] {
        // Without a chosen button the Morvell layout is the one applied.
        const int tag = chosenTag_ != 0 ? chosenTag_ : preset::Morvell;
        closePanel();
        emit presetConfirmed(tag);
    });
}

void OutputLoadPage::DefaultStringClick(QRadioButton* button)
{
    chosen_ = button;
    chosenTag_ = button->property("tag").toInt();
    VerifyPanel->show();
}

void OutputLoadPage::closePanel()
{
    VerifyPanel->hide();
    if (chosen_) {
        chosen_->setAutoExclusive(false);
        chosen_->setChecked(false);
        chosen_->setAutoExclusive(true);
    }
    chosen_ = nullptr;
    chosenTag_ = 0;
}

} // namespace kx
