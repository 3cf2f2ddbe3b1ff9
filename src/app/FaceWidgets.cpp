#include "app/FaceWidgets.h"

#include <QFile>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace kx {

void ClickLabel::setShownText(const QString& text)
{
    setText(text);
    setAccessibleName(text);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

QString SegmentLabel::segmentFamily()
{
    static const QString family = [] {
        for (const char* path : {"/usr/share/fonts/truetype/dseg/DSEG7Classic-Bold.ttf",
                                 "/usr/share/fonts/truetype/dseg/DSEG7Classic-Regular.ttf"}) {
            if (!QFile::exists(QString::fromLatin1(path)))
                continue;
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(path));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty())
                return families.first();
        }
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    return family;
}

SegmentLabel::SegmentLabel(QWidget* parent) : ClickLabel(parent)
{
    QFont f(segmentFamily());
    f.setPixelSize(64);
    setFont(f);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

Mark::Mark(const QString& legend, QWidget* parent) : QWidget(parent), legend_(legend)
{
    setFixedSize(40, 22);
    setAccessibleName(QStringLiteral("%1 dark").arg(legend_));
}

void Mark::setLit(bool lit)
{
    // Always restated: naming the control after construction replaces the accessible name.
    setAccessibleName(
        QStringLiteral("%1 %2").arg(legend_, lit ? QStringLiteral("lit") : QStringLiteral("dark")));
    if (lit == lit_)
        return;
    lit_ = lit;
    update();
}

void Mark::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    const qreal cx = width() / 2.0;
    arrow.moveTo(cx - 7, 2);
    arrow.lineTo(cx + 7, 2);
    arrow.lineTo(cx, 11);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(lit_ ? "#111111" : "#dddddd"), 1));
    p.setBrush(lit_ ? QColor("#111111") : QColor("#f2f2f2"));
    p.drawPath(arrow);
    QFont f = font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(lit_ ? "#111111" : "#c8c8c8"));
    p.drawText(QRect(0, 11, width(), 11), Qt::AlignCenter, legend_);
}

FaceKey::FaceKey(const QString& caption, int tag, QWidget* parent)
    : QAbstractButton(parent), tag_(tag)
{
    setText(caption);
    setAccessibleName(caption);
    setFixedSize(73, 73);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void FaceKey::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown();
    const QRectF body = QRectF(rect()).adjusted(3, down ? 5 : 2, -3, down ? -1 : -4);
    const qreal radius = round_ ? body.width() / 2 : 10;
    // Shadow under the key; it shrinks as the key sinks.
    if (!down) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 90));
        p.drawRoundedRect(body.translated(0, 3), radius, radius);
    }
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, down ? QColor("#3a4a5e") : QColor("#6f88a6"));
    g.setColorAt(1, down ? QColor("#26323f") : QColor("#3b4d63"));
    p.setBrush(g);
    p.setPen(QPen(QColor("#1b2530"), 1.2));
    p.drawRoundedRect(body, radius, radius);
    QFont f = font();
    f.setPixelSize(round_ ? 11 : 12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(round_ ? QColor("#ff6b6b") : Qt::white);
    p.drawText(body, Qt::AlignCenter | Qt::TextWordWrap, text());
}

void PanelPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QLinearGradient body(r.topLeft(), r.bottomLeft());
    body.setColorAt(0, QColor("#24466e"));
    body.setColorAt(1, QColor("#122b47"));
    p.fillRect(r, body);
    // The bezel around the display window and the keypad's recessed field.
    p.setPen(QPen(QColor("#0b1a2c"), 3));
    p.setBrush(QColor("#0f2238"));
    p.drawRoundedRect(QRectF(228, 40, 348, 125), 14, 14);
    p.setBrush(QColor("#1a3556"));
    p.drawRoundedRect(QRectF(178, 230, 448, 200), 18, 18);
    // A thin blue line along the top, as on the indicator's housing.
    p.setPen(QPen(QColor("#5fa8ff"), 3));
    p.drawLine(QPointF(20, 18), QPointF(r.width() - 20, 18));
    QFont f = font();
    f.setPixelSize(22);
    f.setBold(true);
    f.setItalic(true);
    p.setFont(f);
    p.setPen(QColor("#d8e6f5"));
    p.drawText(QRectF(24, 40, 190, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KX7400"));
    f.setPixelSize(11);
    f.setItalic(false);
    p.setFont(f);
    p.setPen(QColor("#8fb0d3"));
    p.drawText(QRectF(24, 74, 190, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("WEIGHING INDICATOR"));
}

} // namespace kx
