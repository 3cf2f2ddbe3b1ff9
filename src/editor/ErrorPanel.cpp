#include "editor/ErrorPanel.h"

#include "widgets/AccessibleControl.h"

#include <QMouseEvent>

namespace kx {

ErrorPanel::ErrorPanel(QWidget* parent) : QLabel(parent)
{
    nameControl(this, QStringLiteral("ErrorPanel"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QLabel#ErrorPanel { background: #d00000; color: white;"
                                 " font-weight: bold; border: 2px outset #ff4040; }"));
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    hide();
}

void ErrorPanel::showError(const QString& text)
{
    setText(text);
    setAccessibleName(text);
    show();
    raise();
}

void ErrorPanel::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    hide();
    emit clicked();
}

} // namespace kx
