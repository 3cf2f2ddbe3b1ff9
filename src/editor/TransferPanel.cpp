#include "editor/TransferPanel.h"

#include "widgets/AccessibleControl.h"

#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextOption>
#include <QVBoxLayout>

namespace kx {

int transferPanelLeft(int windowWidth, int panelWidth)
{
    return (windowWidth - panelWidth) / 2;
}

int transferPanelTop(int windowHeight, int panelHeight)
{
    const int centred = (windowHeight - panelHeight) / 2;
    return static_cast<int>(centred * 0.75);
}

TransferPanel::TransferPanel(QWidget* parent) : QFrame(parent)
{
    nameControl(this, QStringLiteral("TransferPanel"));
    setAccessibleName(QStringLiteral("TransferPanel"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(2);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QFrame#TransferPanel { background: #d00000; }"));

    auto* column = new QVBoxLayout(this);
    TransferStatus = new QTextEdit(this);
    TransferStatus->setReadOnly(true);
    TransferStatus->setFocusPolicy(Qt::NoFocus);
    TransferStatus->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
    QFont bold = TransferStatus->font();
    bold.setBold(true);
    TransferStatus->setFont(bold);
    nameControl(TransferStatus, QStringLiteral("TransferStatus"));
    TransferButton = new QPushButton(this);
    TransferButton->setAutoDefault(false);
    nameControl(TransferButton, QStringLiteral("TransferButton"));
    setButtonMode(ButtonMode::Cancel);
    column->addWidget(TransferStatus, 1);
    column->addWidget(TransferButton, 0, Qt::AlignHCenter);

    connect(TransferButton, &QPushButton::clicked, this, &TransferPanel::TransferButtonClick);
    hide();
}

void TransferPanel::setButtonMode(ButtonMode mode)
{
    mode_ = mode;
    setButtonCaption(TransferButton,
                     mode == ButtonMode::Cancel ? QStringLiteral("Cancel") : QStringLiteral("OK"));
}

void TransferPanel::ShowTransferStatus(const QString& text, bool open, bool finish,
                                       bool replaceLast)
{
    if (open) {
        lines_.clear();
        show();
        raise();
        setButtonMode(ButtonMode::Cancel);
        if (covered_)
            covered_->setEnabled(false);
    } else if (finish) {
        setButtonMode(ButtonMode::Ok);
    }

    if (replaceLast && !lines_.isEmpty())
        lines_.last() = text;
    else
        lines_.append(text);
    TransferStatus->setPlainText(lines_.join(u'\n'));
    TransferStatus->setAccessibleName(TransferStatus->toPlainText());
    // The newest line is the one that matters (a download and its read-back run past the
    // box): it stays in view.
    TransferStatus->moveCursor(QTextCursor::End);
    TransferStatus->ensureCursorVisible();
    repaint();
}

QString TransferPanel::lastLine() const
{
    return lines_.isEmpty() ? QString() : lines_.last();
}

void TransferPanel::TransferButtonClick()
{
    if (mode_ == ButtonMode::Cancel) {
        ShowTransferStatus(QStringLiteral("Action Cancelled"), false, false, false);
        setButtonMode(ButtonMode::Ok);
        emit cancelled();
        return;
    }
    const QString last = lastLine();
    hide();
    if (covered_)
        covered_->setEnabled(true);
    emit closedWithOk(last);
}

} // namespace kx
