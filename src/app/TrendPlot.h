#pragma once

#include "trend/TrendScale.h"
#include "trend/TrendSeries.h"

#include <QPixmap>
#include <QPolygonF>
#include <QString>
#include <QWidget>
#include <vector>

namespace kx {

// The trend's picture, drawn here with QPainter: a time axis with ticks on round local times,
// a weight axis with round steps, gross and net as lines that break where the series has a gap
// or changes between the two, and the frames in motion as dots. The series already bounds
// its points to about two a screen column, so every point is drawn as it comes.
class TrendPlot : public QWidget
{
    Q_OBJECT
public:
    explicit TrendPlot(QWidget* parent = nullptr);

    // What to draw: points with times in the link clock's milliseconds, toEpoch added to make
    // them wall-clock time; the time axis runs from..to in the same link milliseconds.
    // seconds: the time labels with seconds (the short spans).
    void setSeries(std::vector<TrendPoint> points, qint64 toEpoch, qint64 from, qint64 to,
                   bool seconds, int decimals, const QString& units);

    // One unbroken stretch, as drawn: in widget coordinates.
    struct Stretch
    {
        bool net = false;
        QPolygonF points;
    };
    // The frame inside the axes that holds the lines, and what is drawn in it; laid out for
    // the widget's present size.
    QRect plotFrame() const;
    const std::vector<Stretch>& stretches() const;
    const QPolygonF& motionDots() const;
    // The axes' labels, left to right and bottom to top.
    QStringList timeLabels() const;
    QStringList weightLabels() const;

    QSize sizeHint() const override { return {860, 400}; }
    QSize minimumSizeHint() const override { return {600, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Tick
    {
        double at; // pixels
        QString label;
    };
    void layOut() const;
    void drawLegend(QPainter& p) const;

    std::vector<TrendPoint> points_;
    qint64 toEpoch_ = 0;
    qint64 from_ = 0;
    qint64 to_ = 1;
    bool seconds_ = true;
    int decimals_ = 0;
    QString units_;

    // What the layout made of the above; made again when either the data or the size changed.
    mutable bool laidOut_ = false;
    mutable QRect frame_;
    mutable std::vector<Tick> timeTicks_;
    mutable std::vector<Tick> weightTicks_;
    mutable std::vector<Stretch> stretches_;
    mutable QPolygonF motion_;
    QPixmap dot_;
};

} // namespace kx
