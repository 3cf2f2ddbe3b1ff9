#include "editor/CompareWindow.h"

#include "editor/CompareModel.h"
#include "widgets/AccessibleControl.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace kx {

CompareWindow::CompareWindow(SetupComparison comparison, const QString& otherName, bool canSend,
                             QWidget* parent)
    : QDialog(parent), model_(new CompareModel(std::move(comparison), otherName, this)),
      table_(new QTableView(this)), count_(new QLabel(this)), result_(new QLabel(this)),
      showAll_(new QCheckBox(QStringLiteral("Show &all settings"), this)),
      send_(new QPushButton(QStringLiteral("&Send checked"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      close_(new QPushButton(QStringLiteral("&Close"), this)), otherName_(otherName),
      canSend_(canSend)
{
    setObjectName(QStringLiteral("CompareWindow"));
    setWindowTitle(QStringLiteral("Compare with %1").arg(otherName));
    setAccessibleName(windowTitle());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(860, 460);

    // The indicator is "the KX7400" in a sentence; a file is its own name.
    otherInSentence_ = canSend ? QStringLiteral("the %1").arg(otherName) : otherName;
    showCount();
    nameControl(count_, QStringLiteral("CompareCount"));

    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnHidden(CompareModel::Send, !canSend);
    table_->setAccessibleName(QStringLiteral("Settings compared"));
    table_->installEventFilter(this);
    nameControl(table_, QStringLiteral("CompareTable"));
    table_->setAccessibleName(QStringLiteral("Settings compared"));
    const auto fit = [this] {
        table_->resizeColumnsToContents();
        if (model_->rowCount() > 0 && !table_->currentIndex().isValid())
            table_->setCurrentIndex(model_->index(0, CompareModel::Page));
    };
    fit();

    nameControl(showAll_, QStringLiteral("CompareShowAll"));
    connect(showAll_, &QCheckBox::toggled, this, [this, fit](bool on) {
        model_->setShowAll(on);
        fit();
    });
    nameControl(send_, QStringLiteral("CompareSend"));
    nameControl(cancel_, QStringLiteral("CompareCancel"));
    nameControl(close_, QStringLiteral("CompareClose"));
    for (QPushButton* b : {send_, cancel_, close_})
        b->setAutoDefault(false);
    send_->setVisible(canSend);
    cancel_->setVisible(canSend);
    cancel_->setEnabled(false);
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    nameControl(result_, QStringLiteral("CompareResult"));
    connect(model_, &CompareModel::chosenChanged, this, &CompareWindow::refreshSend);
    connect(send_, &QPushButton::clicked, this, &CompareWindow::send);
    connect(cancel_, &QPushButton::clicked, this, &CompareWindow::cancelRequested);
    connect(close_, &QPushButton::clicked, this, &CompareWindow::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showAll_);
    buttons->addStretch(1);
    buttons->addWidget(send_);
    buttons->addWidget(cancel_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(count_);
    layout->addWidget(table_, 1);
    layout->addWidget(result_);
    layout->addLayout(buttons);
    setTabOrder(table_, showAll_);
    setTabOrder(showAll_, send_);
    setTabOrder(send_, cancel_);
    setTabOrder(cancel_, close_);
    table_->setFocus();
    refreshSend();
}

void CompareWindow::refreshSend()
{
    const int chosen = model_->comparison().chosenCount();
    send_->setEnabled(canSend_ && !sending_ && !sent_ && chosen > 0);
    setButtonCaption(send_, chosen == model_->comparison().differing()
                                ? QStringLiteral("&Send checked")
                                : QStringLiteral("&Send checked (%1)").arg(chosen));
}

void CompareWindow::send()
{
    if (sending_ || sent_ || model_->comparison().chosenCount() == 0)
        return;
    const int chosen = model_->comparison().chosenCount();
    SettingsFileCheck check = model_->comparison().mergedSetup(
        QStringLiteral("%1 of the %2 settings that differ, over the %3's setup")
            .arg(chosen)
            .arg(model_->comparison().differing())
            .arg(otherName_));
    if (!check.checked) {
        showSendRefused(check.refusal);
        return;
    }
    sending_ = true;
    sentCount_ = chosen;
    cancel_->setEnabled(true);
    refreshSend();
    showResult(chosen == 1
                   ? QStringLiteral("Sending 1 setting to the %1…").arg(otherName_)
                   : QStringLiteral("Sending %1 settings to the %2…").arg(chosen).arg(otherName_));
    emit sendRequested(*check.checked);
}

void CompareWindow::showSendRefused(const QString& why)
{
    sending_ = false;
    cancel_->setEnabled(false);
    refreshSend();
    showResult(why);
}

void CompareWindow::showCount()
{
    const QString& other = otherInSentence_;
    const int differing = model_->comparison().differing();
    count_->setText(
        differing == 0 ? QStringLiteral("No setting differs between the editor and %1.").arg(other)
        : differing == 1 ? QStringLiteral("1 setting differs between the editor and %1.").arg(other)
                         : QStringLiteral("%1 settings differ between the editor and %2.")
                               .arg(differing)
                               .arg(other));
    count_->setAccessibleName(count_->text());
}

void CompareWindow::showReadBack(SetupComparison comparison)
{
    model_->setComparison(std::move(comparison));
    showCount();
}

void CompareWindow::showSendEnded(const TransferResult& result)
{
    sending_ = false;
    // What was read is no longer what the indicator holds once data went out.
    sent_ = result.dataSent;
    cancel_->setEnabled(false);
    refreshSend();
    QString text;
    switch (result.outcome) {
    case Outcome::Completed:
        text = result.verify == TransferResult::Verify::Verified
                   ? QStringLiteral("Sent and verified: %1 changed; the %2 holds every setting "
                                    "as sent.")
                         .arg(sentCount_ == 1 ? QStringLiteral("1 setting")
                                              : QStringLiteral("%1 settings").arg(sentCount_),
                              otherName_)
                   : QStringLiteral("Sent, not verified: %1").arg(result.text);
        break;
    case Outcome::NotAsSent:
        text = QStringLiteral("Sent, but it differs when read back: %1\n%2")
                   .arg(result.text, result.differences.join(QLatin1Char('\n')));
        break;
    case Outcome::NoAnswer:
        text = QStringLiteral("No answer: %1")
                   .arg(result.detail.isEmpty() ? result.text : result.detail);
        break;
    case Outcome::Cancelled:
        text = result.text.isEmpty() ? QStringLiteral("Cancelled: nothing was sent.")
                                     : QStringLiteral("Cancelled: %1").arg(result.text);
        break;
    default:
        text = QStringLiteral("%1: %2").arg(
            QString::fromLatin1(outcomeName(result.outcome)),
            result.detail.isEmpty() ? result.text : result.detail + QLatin1Char(' ') + result.text);
        break;
    }
    showResult(text);
}

void CompareWindow::showResult(const QString& text)
{
    result_->setText(text);
    result_->setAccessibleName(text);
}

bool CompareWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Space flips the check box of the row under the cursor, whichever of its cells that is.
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Space || key->key() == Qt::Key_Select) && canSend_ &&
            !sending_ && !sent_ && table_->currentIndex().isValid()) {
            model_->toggle(table_->currentIndex().row());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CompareWindow::reject()
{
    // A send under way ends with its own outcome first; Esc then asks for that.
    if (sending_) {
        emit cancelRequested();
        return;
    }
    QDialog::reject();
}

} // namespace kx
