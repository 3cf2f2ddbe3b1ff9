#include "editor/OutputTokensPage.h"

#include "editor/PageBuilder.h"
#include "settings/SettingsSchema.h"
#include "settings/WrapperCodes.h"
#include "widgets/AccessibleControl.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace kx {

using namespace PageBuilder;

namespace {

const char* const kListNames[] = {"Poll_Token", "Start_Token", "Stop_Token", "Block_Token"};
const char* const kListCaptions[] = {"Poll", "Start", "Stop", "Block"};
const char* const kCharNames[] = {"Poll_Char", "Start_Char", "Stop_Char", "Block_Char"};
const char* const kTokenKeys[] = {"Poll Token", "Start Token", "Stop Token", "Block Token"};

// The list item whose character is the stored code (poll: "User Defined Char").
int definingItem(int wrapper)
{
    const OutputKeyDesc* desc = findOutputKey(kTokenKeys[wrapper]);
    for (size_t i = 0; desc && i < desc->codes.size(); ++i)
        if (desc->codes[i] < 0)
            return int(i);
    return -1;
}

constexpr int kPollStringItem = 6;

} // namespace

OutputTokensPage::OutputTokensPage(QWidget* parent) : QWidget(parent)
{
    auto* page = new QGridLayout(this);
    QGroupBox* wrappers =
        group(this, QStringLiteral(" Wrappers "), QStringLiteral("WrappersGroup"));
    auto* wrapperGrid = new QGridLayout(wrappers);
    for (int w = 0; w < 4; ++w) {
        auto* caption = new QLabel(QString::fromLatin1(kListCaptions[w]), wrappers);
        auto* list = new QComboBox(wrappers);
        nameControl(list, QString::fromLatin1(kListNames[w]));
        caption->setBuddy(list);
        auto* box = new QPushButton(wrappers);
        box->setFlat(true);
        box->setAutoDefault(false);
        box->setMinimumWidth(60);
        nameControl(box, QString::fromLatin1(kCharNames[w]));
        box->hide();
        wrapperGrid->addWidget(caption, w, 0);
        wrapperGrid->addWidget(list, w, 1);
        wrapperGrid->addWidget(box, w, 2);
        tokenLists[w] = list;
        charBoxes[w] = box;
        connect(list, &QComboBox::activated, this, [this, w] {
            syncWrapperBoxes();
            // Choosing the poll string leads straight into typing it, with its help shown.
            if (w == Poll && PollStr_Text->isVisibleTo(this)) {
                PollStrExample->show();
                PollStr_Text->setFocus();
            }
            emit edited();
        });
        connect(box, &QPushButton::clicked, this, [this, w] { Char_TextClick(w); });
    }
    PollStr_Text = new QLineEdit(wrappers);
    nameControl(PollStr_Text, QStringLiteral("PollStr_Text"));
    const QString help = QStringLiteral("For Poll String, enter control characters as hex values "
                                        "between <> brackets. For example: Type <2>W<1C> to send "
                                        "<STX>W<FS>.");
    PollStr_Text->setToolTip(help);
    PollStr_Text->hide();
    PollStr_Text->installEventFilter(this);
    wrapperGrid->addWidget(PollStr_Text, 0, 2);
    PollStrExample = new QLabel(help, wrappers);
    PollStrExample->setWordWrap(true);
    nameControl(PollStrExample, QStringLiteral("PollStrExample"));
    PollStrExample->hide();
    wrapperGrid->addWidget(PollStrExample, 4, 0, 1, 3);
    page->addWidget(wrappers, 0, 0, 2, 1);

    auto tokenGroup = [this](const QString& title, const QString& name,
                             std::initializer_list<std::pair<const char*, const char*>> rows) {
        QGroupBox* g = group(this, title, name);
        QFormLayout* form = formIn(g);
        for (const auto& [caption, control] : rows) {
            QLineEdit* edit =
                editRow(form, QString::fromLatin1(caption), QString::fromLatin1(control));
            edit->installEventFilter(this);
            connect(edit, &QLineEdit::textEdited, this, &OutputTokensPage::edited);
            tokenEdits.append(edit);
        }
        return g;
    };
    page->addWidget(tokenGroup(QStringLiteral(" Status"), QStringLiteral("StatusGroup"),
                               {{"Motion", "Motion_Token"},
                                {"Capacity", "Capacity_Token"},
                                {"OK", "OK_Token"},
                                {"Invalid", "Invalid_Token"}}),
                    0, 1);
    page->addWidget(
        tokenGroup(QStringLiteral(" Mode "), QStringLiteral("ModeGroup"),
                   {{"Gross", "Gross_Token"}, {"Tare", "Tare_Token"}, {"Net", "Net_Token"}}),
        1, 1);
    page->addWidget(tokenGroup(QStringLiteral(" Units "), QStringLiteral("UnitsGroup"),
                               {{"Primary", "Primary_Token"}, {"Secondary", "Secondary_Token"}}),
                    2, 1);
    page->setRowStretch(3, 1);
    connect(PollStr_Text, &QLineEdit::textEdited, this, &OutputTokensPage::edited);

    AscIIButton = new QPushButton(QStringLiteral("ASCII"), this);
    nameControl(AscIIButton, QStringLiteral("AscIIButton"));
    AscIIButton->setAutoDefault(false);
    AscIIButton->hide();
    connect(AscIIButton, &QPushButton::clicked, this, [this] {
        if (tokenTarget_)
            PopUp_Char->popup(tokenTarget_->mapToGlobal(QPoint(110, 0)));
    });

    PopUp_Char = new QMenu(this);
    PopUp_Char->setObjectName(QStringLiteral("PopUp_Char"));
    const QByteArrayList items = charMenuItems();
    for (int i = 0; i < items.size(); ++i)
        PopUp_Char->addAction(QString::fromLatin1(items[i]), this,
                              [this, i] { PopupItemClick(i + 1); });
    PopUp_Char->addAction(QStringLiteral("Entry"), this, &OutputTokensPage::CharEntryClick);

    CharEdit = new QLineEdit(this);
    nameControl(CharEdit, QStringLiteral("CharEdit"));
    CharEdit->setMaxLength(1);
    CharEdit->hide();
    CharEdit->installEventFilter(this);
    connect(CharEdit, &QLineEdit::textEdited, this, &OutputTokensPage::CharEditChange);
}

void OutputTokensPage::setCode(Wrapper w, int code)
{
    codes_[w] = code;
    setButtonCaption(charBoxes[w], QString::fromLatin1(wrapperCharName(code)));
}

void OutputTokensPage::syncWrapperBoxes()
{
    for (int w = 0; w < 4; ++w)
        charBoxes[w]->setVisible(tokenLists[w]->currentIndex() == definingItem(w));
    const bool pollString = tokenLists[Poll]->currentIndex() == kPollStringItem;
    PollStr_Text->setVisible(pollString);
    if (pollString)
        PollStr_Text->raise();
}

void OutputTokensPage::resetTargets()
{
    AscIIButton->hide();
    CharEdit->hide();
    charTarget_ = -1;
    tokenTarget_ = nullptr;
}

void OutputTokensPage::Char_TextClick(int wrapper)
{
    charTarget_ = wrapper;
    tokenTarget_ = nullptr;
    PopUp_Char->popup(charBoxes[wrapper]->mapToGlobal(QPoint(0, charBoxes[wrapper]->height())));
}

void OutputTokensPage::PopupItemClick(int code)
{
    if (charTarget_ >= 0) {
        setCode(Wrapper(charTarget_), code);
    } else if (tokenTarget_) {
        tokenTarget_->setText(QString::fromLatin1(charMenuItems().at(code - 1)));
    } else {
        return;
    }
    emit edited();
}

void OutputTokensPage::CharEntryClick()
{
    if (charTarget_ >= 0) {
        QPushButton* box = charBoxes[charTarget_];
        CharEdit->setGeometry(QRect(box->mapTo(this, QPoint(0, 0)), box->size()));
        CharEdit->clear();
        CharEdit->show();
        CharEdit->raise();
        CharEdit->setFocus();
    } else if (tokenTarget_) {
        AscIIButton->hide();
        tokenTarget_->clear();
        tokenTarget_->setFocus();
    }
}

void OutputTokensPage::CharEditChange(const QString& text)
{
    // An emptied box stays up for the next character.
    if (text.isEmpty() || charTarget_ < 0)
        return;
    const int code = text.at(0).toLatin1() & 0xff;
    codes_[charTarget_] = code;
    setButtonCaption(charBoxes[charTarget_],
                     code == 32 ? QStringLiteral("<SP>")
                                : QLatin1Char('[') + text.left(1) + QLatin1Char(']'));
    CharEdit->hide();
    emit edited();
}

void OutputTokensPage::Tokens_Enter(QLineEdit* edit)
{
    AscIIButton->setParent(edit->parentWidget());
    AscIIButton->move(edit->geometry().right() + 1, edit->y() + 1);
    AscIIButton->show();
    AscIIButton->raise();
    charTarget_ = -1;
    tokenTarget_ = edit;
}

bool OutputTokensPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && tokenEdits.contains(edit))
            Tokens_Enter(edit);
        else if (watched == PollStr_Text)
            PollStrExample->show();
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == PollStr_Text) {
            PollStrExample->hide();
            CharEdit->hide();
            charTarget_ = -1;
        } else if (watched == CharEdit) {
            CharEdit->hide();
            charTarget_ = -1;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kx
