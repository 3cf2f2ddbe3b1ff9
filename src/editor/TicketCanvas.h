#pragma once

#include <QLabel>
#include <QPoint>
#include <QWidget>

class QScrollArea;

namespace kx {

// A field's label on the ticket page: pressed, it reports itself; dragged with the left button,
// it follows the mouse and reports the drop with the mouse travel in screen pixels.
class TicketLabel : public QLabel
{
    Q_OBJECT
public:
    TicketLabel(int field, const QString& name, QWidget* parent);
    int field() const { return field_; }

signals:
    void pressed(int field);
    void dropped(int field, QPoint startPos, QPoint mouseTravel);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int field_;
    bool dragging_ = false;
    QPoint startPos_;
    QPoint startMouse_;
};

// The ticket paper at screen resolution with its margins; positions count from the paper's
// top-left corner, whatever border the canvas draws around it.
class TicketCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit TicketCanvas(QWidget* parent = nullptr);

    static constexpr int Border = 12; // canvas around the paper, in pixels

    // Paper height, width and the top, left, bottom and right margins in inches.
    void setPage(double height, double width, double top, double left, double bottom, double right);
    void setPixelsPerInch(int ppi) { ppi_ = ppi > 0 ? ppi : 96; }
    // Places a label at a position on the paper.
    void placeLabel(QWidget* label, int left, int top);
    QPoint labelPosition(const QWidget* label) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int px(double inches) const;
    double height_ = 6, width_ = 3, top_ = 0, left_ = 0, bottom_ = 0, right_ = 0;
    int ppi_ = 96;
};

} // namespace kx
