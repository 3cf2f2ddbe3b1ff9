#include "editor/TicketCanvas.h"

#include "widgets/AccessibleControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace kx {

TicketLabel::TicketLabel(int field, const QString& name, QWidget* parent)
    : QLabel(parent), field_(field)
{
    nameControl(this, name);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setFixedSize(100, 16);
    setAutoFillBackground(true);
}

void TicketLabel::mousePressEvent(QMouseEvent* event)
{
    emit pressed(field_);
    if (event->button() == Qt::LeftButton) {
        // No movement threshold: the drag starts with the press.
        dragging_ = true;
        startPos_ = pos();
        startMouse_ = event->globalPosition().toPoint();
        raise();
    }
}

void TicketLabel::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        move(startPos_ + event->globalPosition().toPoint() - startMouse_);
}

void TicketLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    emit dropped(field_, startPos_, event->globalPosition().toPoint() - startMouse_);
}

TicketCanvas::TicketCanvas(QWidget* parent) : QWidget(parent)
{
    nameControl(this, QStringLiteral("PageCanvas"));
    setAccessibleName(QStringLiteral("Ticket page"));
    setPage(6, 3, 0, 0, 0, 0);
}

int TicketCanvas::px(double inches) const
{
    return int(std::lround(inches * ppi_));
}

void TicketCanvas::setPage(double height, double width, double top, double left, double bottom,
                           double right)
{
    height_ = height;
    width_ = width;
    top_ = top;
    left_ = left;
    bottom_ = bottom;
    right_ = right;
    // Room for labels placed past the paper's edge stays reachable.
    setMinimumSize(qBound(0, px(width), 4000) + 2 * Border + 100,
                   qBound(0, px(height), 4000) + 2 * Border + 16);
    update();
}

void TicketCanvas::placeLabel(QWidget* label, int left, int top)
{
    label->move(Border + left, Border + top);
}

QPoint TicketCanvas::labelPosition(const QWidget* label) const
{
    return label->pos() - QPoint(Border, Border);
}

void TicketCanvas::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Mid));
    const QRect paper(Border, Border, qMax(0, px(width_)), qMax(0, px(height_)));
    p.fillRect(paper, Qt::white);
    p.setPen(Qt::black);
    p.drawRect(paper.adjusted(0, 0, -1, -1));
    p.setPen(QPen(Qt::gray, 1, Qt::DashLine));
    p.drawRect(paper.adjusted(px(left_), px(top_), -px(right_) - 1, -px(bottom_) - 1));
}

} // namespace kx
