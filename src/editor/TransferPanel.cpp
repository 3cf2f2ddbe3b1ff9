#include "editor/TransferPanel.h"

#include "widgets/AccessibleControl.h"

#include <QAbstractTextDocumentLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextLayout>
#include <QTextOption>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

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
    fitLines();
    if (open)
        TransferButton->setFocus();
    repaint();
}

void TransferPanel::fitLines()
{
    if (madeHeight_ == 0)
        madeHeight_ = height();
    layout()->activate();
    QWidget* host = parentWidget();
    QTextDocument* doc = TransferStatus->document();
    QScrollBar* bar = TransferStatus->verticalScrollBar();
    // The panel grows, up to the window's height, rather than scroll: a download and its
    // read-back run past the size it was made with.
    const int chrome = height() - TransferStatus->viewport()->height();
    doc->setTextWidth(TransferStatus->viewport()->width());
    const int content = static_cast<int>(std::ceil(doc->size().height()));
    const int most = std::max(madeHeight_, host ? host->height() - 2 * HostMargin : height());
    int wanted = std::max(content + chrome, madeHeight_);
    if (wanted > most) {
        // Scrolled to its end, a view one margin and whole lines high starts at a line's top.
        const QTextLayout* first = doc->begin().layout();
        const int line = first && first->lineCount() > 0
                             ? static_cast<int>(std::ceil(first->lineAt(0).height()))
                             : TransferStatus->fontMetrics().lineSpacing();
        const int margin = static_cast<int>(doc->documentMargin());
        const int shown = std::max(1, (most - chrome - margin) / line);
        wanted = chrome + margin + shown * line;
    }
    if (wanted != height()) {
        resize(width(), wanted);
        if (host)
            move(x(), std::max(HostMargin, transferPanelTop(host->height(), wanted)));
        layout()->activate();
    }
    // Beyond that, the newest line is the one that matters: it stays in view, and the view
    // starts at the top of a line, never in the middle of one.
    bar->setValue(bar->maximum());
    const int top = bar->value();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const qreal blockTop = doc->documentLayout()->blockBoundingRect(block).top();
        const QTextLayout* lines = block.layout();
        for (int i = 0; lines && i < lines->lineCount(); ++i) {
            const int lineTop = static_cast<int>(blockTop + lines->lineAt(i).y());
            if (lineTop >= top) {
                if (lineTop != top) {
                    // Scrolled a part of a line past the top: trim the view to whole lines.
                    bar->setValue(lineTop);
                }
                return;
            }
        }
    }
}

void TransferPanel::dismiss()
{
    if (!isVisible() || mode_ != ButtonMode::Ok)
        return;
    TransferButton->click();
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
