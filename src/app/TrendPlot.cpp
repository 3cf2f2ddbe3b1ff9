#include "app/TrendPlot.h"

#include "widgets/AccessibleControl.h"

#include <QDateTime>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace kx {
namespace {

const QColor GrossColor(0x1f, 0x5f, 0xbf);
const QColor NetColor(0x1a, 0x8a, 0x3a);
const QColor MotionColor(0xe0, 0x70, 0x10);
const QColor GridColor(0xe4, 0xe4, 0xe4);
const QColor FrameColor(0xa0, 0xa0, 0xa0);
const QColor LabelColor(0x40, 0x40, 0x40);

constexpr int TickLength = 4;
constexpr int DotSize = 5;
constexpr int Gap = 6;

} // namespace

TrendPlot::TrendPlot(QWidget* parent) : QWidget(parent)
{
    nameControl(this, QStringLiteral("TrendChart"));
    setAccessibleName(QStringLiteral("Weight trend"));
    // Every pixel is painted: nothing of the window behind needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TrendPlot::setSeries(std::vector<TrendPoint> points, qint64 toEpoch, qint64 from, qint64 to,
                          bool seconds, int decimals, const QString& units)
{
    points_ = std::move(points);
    toEpoch_ = toEpoch;
    from_ = from;
    to_ = std::max(to, from + 1);
    seconds_ = seconds;
    decimals_ = decimals;
    units_ = units;
    laidOut_ = false;
    update();
}

QRect TrendPlot::plotFrame() const
{
    layOut();
    return frame_;
}

const std::vector<TrendPlot::Stretch>& TrendPlot::stretches() const
{
    layOut();
    return stretches_;
}

const QPolygonF& TrendPlot::motionDots() const
{
    layOut();
    return motion_;
}

QStringList TrendPlot::timeLabels() const
{
    layOut();
    QStringList out;
    for (const Tick& t : timeTicks_)
        out << t.label;
    return out;
}

QStringList TrendPlot::weightLabels() const
{
    layOut();
    QStringList out;
    for (const Tick& t : weightTicks_)
        out << t.label;
    return out;
}

void TrendPlot::resizeEvent(QResizeEvent* event)
{
    laidOut_ = false;
    QWidget::resizeEvent(event);
}

void TrendPlot::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        laidOut_ = false;
    QWidget::changeEvent(event);
}

void TrendPlot::layOut() const
{
    if (laidOut_)
        return;
    laidOut_ = true;
    const QFontMetrics fm(font());

    bool any = false;
    double lo = 0;
    double hi = 0;
    for (const TrendPoint& p : points_) {
        lo = any ? std::min(lo, p.value) : p.value;
        hi = any ? std::max(hi, p.value) : p.value;
        any = true;
    }
    const WeightScale scale = weightScale(lo, hi, decimals_, any);
    const std::vector<double> weights = scale.ticks();
    int labelWidth = 0;
    weightTicks_.clear();
    for (const double w : weights) {
        // -0.00 reads as a fault to a technician; a tick on zero says 0.
        const QString label =
            QString::number(std::abs(w) < scale.step / 2 ? 0.0 : w, 'f', decimals_);
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(label));
        weightTicks_.push_back({w, label});
    }

    const QString sample = seconds_ ? QStringLiteral("00:00:00") : QStringLiteral("00:00");
    const int timeWidth = fm.horizontalAdvance(sample);
    const int title = units_.isEmpty() ? 0 : fm.height() + Gap;
    const int left = Gap + title + labelWidth + Gap + TickLength;
    const int top = fm.height() + 2 * Gap;
    const int right = timeWidth / 2 + Gap;
    const int bottom = TickLength + Gap / 2 + fm.height() + Gap;
    frame_ =
        QRect(left, top, std::max(1, width() - left - right), std::max(1, height() - top - bottom));

    // Inclusive pixel ranges, so the newest point sits on the frame's last column, not past it.
    const double x0 = frame_.left();
    const double xw = frame_.width() - 1;
    const double y0 = frame_.bottom();
    const double yh = frame_.height() - 1;
    const double span = double(to_ - from_);
    const double range = scale.to - scale.from;
    auto xOf = [&](qint64 t) { return x0 + std::clamp(double(t - from_) / span, 0.0, 1.0) * xw; };
    auto yOf = [&](double v) { return y0 - std::clamp((v - scale.from) / range, 0.0, 1.0) * yh; };
    for (Tick& t : weightTicks_)
        t.at = yOf(t.at);

    timeTicks_.clear();
    const qint64 end = to_ + toEpoch_;
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(end).offsetFromUtc()) * 1000;
    const int maxTicks = std::max(2, frame_.width() / std::max(1, 2 * timeWidth));
    const QString format = seconds_ ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
    for (const qint64 t : timeTicks(from_ + toEpoch_, end, offset, maxTicks).at)
        timeTicks_.push_back(
            {xOf(t - toEpoch_), QDateTime::fromMSecsSinceEpoch(t).toString(format)});

    stretches_.clear();
    motion_.clear();
    bool lastNet = false;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const TrendPoint& p = points_[i];
        const QPointF xy(xOf(p.t), yOf(p.value));
        // A gap, or a change between gross and net, ends the stretch: never a line across.
        if (i == 0 || p.breakBefore || p.net != lastNet)
            stretches_.push_back({p.net, {}});
        stretches_.back().points.append(xy);
        if (!p.settled)
            motion_.append(xy);
        lastNet = p.net;
    }
}

void TrendPlot::paintEvent(QPaintEvent*)
{
    layOut();
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QFontMetrics fm(font());
    const int textHeight = fm.height();

    // The grid and the axes' labels.
    p.setPen(GridColor);
    for (const Tick& t : weightTicks_)
        p.drawLine(QPointF(frame_.left(), t.at), QPointF(frame_.right(), t.at));
    for (const Tick& t : timeTicks_)
        p.drawLine(QPointF(t.at, frame_.top()), QPointF(t.at, frame_.bottom()));
    p.setPen(FrameColor);
    p.drawRect(frame_.adjusted(0, 0, -1, -1));
    for (const Tick& t : weightTicks_)
        p.drawLine(QPointF(frame_.left() - TickLength, t.at), QPointF(frame_.left(), t.at));
    for (const Tick& t : timeTicks_)
        p.drawLine(QPointF(t.at, frame_.bottom()), QPointF(t.at, frame_.bottom() + TickLength));
    p.setPen(LabelColor);
    const int labelRight = frame_.left() - TickLength - Gap / 2;
    for (const Tick& t : weightTicks_)
        p.drawText(QRectF(0, t.at - textHeight / 2.0, labelRight, textHeight),
                   Qt::AlignRight | Qt::AlignVCenter, t.label);
    const double labelTop = frame_.bottom() + TickLength + Gap / 2.0;
    for (const Tick& t : timeTicks_) {
        const double w = fm.horizontalAdvance(t.label);
        p.drawText(QRectF(t.at - w / 2, labelTop, w, textHeight), Qt::AlignCenter, t.label);
    }
    if (!units_.isEmpty()) {
        p.save();
        p.translate(Gap + textHeight / 2.0, frame_.center().y());
        p.rotate(-90);
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(QRectF(-frame_.height() / 2.0, -textHeight / 2.0, frame_.height(), textHeight),
                   Qt::AlignCenter, units_);
        p.restore();
    }
    drawLegend(p);

    // The weight, inside the frame only.
    p.setClipRect(frame_);
    // A one-pixel pen without antialiasing: the painter sets the pixels themselves. A wider pen
    // is first stroked into an outline and filled, and an antialiased one blends every pixel
    // it passes; for a restless weight doubling back on itself, or eight hours of buckets each
    // spanning the loads of their minute, either cost several milliseconds a refresh. Drawn a
    // second time a pixel down and right, the line reads as firmly as a wider pen's.
    QPen line;
    line.setWidth(1);
    for (const QPointF shift : {QPointF(0, 0), QPointF(1, 1)}) {
        p.translate(shift);
        for (const Stretch& s : stretches_) {
            line.setColor(s.net ? NetColor : GrossColor);
            p.setPen(line);
            // A lone frame between two gaps is still a frame: a dot, not nothing.
            if (s.points.size() == 1)
                p.drawPoint(s.points.front());
            else
                p.drawPolyline(s.points);
        }
        p.translate(-shift);
    }
    // Every dot the same few pixels, made once and stamped.
    if (!motion_.isEmpty()) {
        const qreal ratio = devicePixelRatioF();
        if (dot_.isNull() || dot_.devicePixelRatio() != ratio) {
            dot_ = QPixmap(QSize(DotSize, DotSize) * ratio);
            dot_.setDevicePixelRatio(ratio);
            dot_.fill(Qt::transparent);
            QPainter d(&dot_);
            d.setRenderHint(QPainter::Antialiasing);
            d.setPen(Qt::NoPen);
            d.setBrush(MotionColor);
            d.drawEllipse(QRectF(0.5, 0.5, DotSize - 1, DotSize - 1));
        }
        const QPointF half(DotSize / 2.0, DotSize / 2.0);
        for (const QPointF& at : motion_)
            p.drawPixmap(at - half, dot_);
    }
}

void TrendPlot::drawLegend(QPainter& p) const
{
    const QFontMetrics fm(font());
    const int box = fm.height() * 2 / 3;
    const std::pair<QColor, QString> entries[] = {{GrossColor, QStringLiteral("gross")},
                                                  {NetColor, QStringLiteral("net")},
                                                  {MotionColor, QStringLiteral("in motion")}};
    int total = 0;
    for (const auto& [color, name] : entries)
        total += box + Gap / 2 + fm.horizontalAdvance(name) + 2 * Gap;
    total -= 2 * Gap;
    int x = frame_.left() + (frame_.width() - total) / 2;
    const int y = Gap;
    for (const auto& [color, name] : entries) {
        p.fillRect(QRect(x, y + (fm.height() - box) / 2, box, box), color);
        x += box + Gap / 2;
        p.setPen(LabelColor);
        const int w = fm.horizontalAdvance(name);
        p.drawText(QRect(x, y, w, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += w + 2 * Gap;
    }
}

} // namespace kx
