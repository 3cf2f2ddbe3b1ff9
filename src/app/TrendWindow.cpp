#include "app/TrendWindow.h"

#include "settings/SafeSave.h"
#include "trend/TrendFeed.h"
#include "trend/WeightRecord.h"
#include "widgets/AccessibleControl.h"

#include <QBuffer>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

namespace kx {
namespace {

const char* const SpanTexts[TrendSpanCount] = {"1 min", "10 min", "1 h", "8 h"};
const char* const StatNames[] = {"LastLabel",   "MinLabel",     "MaxLabel",   "MeanLabel",
                                 "StdDevLabel", "SettledLabel", "StableLabel"};

const QColor GrossColor(0x1f, 0x5f, 0xbf);
const QColor NetColor(0x1a, 0x8a, 0x3a);
const QColor MotionColor(0xe0, 0x70, 0x10);

QString duration(qint64 ms)
{
    const qint64 s = ms / 1000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

void setStat(QLabel* label, const QString& text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    label->setAccessibleName(text);
}

QLineSeries* newLine(QChart* chart, const QColor& color, const QString& name, QDateTimeAxis* x,
                     QValueAxis* y)
{
    auto* line = new QLineSeries(chart);
    line->setName(name);
    QPen pen(color);
    pen.setWidthF(1.6);
    line->setPen(pen);
    chart->addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
    return line;
}

} // namespace

TrendWindow::TrendWindow(TrendFeed& feed, QWidget* parent, AskPath askPath)
    : QWidget(parent, Qt::Window), feed_(feed), askPath_(std::move(askPath)),
      refreshTimer_(feed.clock(), int(RefreshMs), [this] { tick(); })
{
    if (!askPath_)
        askPath_ = [this](const QString& caption, const QString& suggested, const QString& filter) {
            return QFileDialog::getSaveFileName(this, caption, suggested, filter);
        };
    nameControl(this, QStringLiteral("TrendWindow"));
    setWindowTitle(QStringLiteral("KXLINK - Weight trend"));
    resize(900, 540);
    build();
    connect(&feed_, &TrendFeed::recordingChanged, this, &TrendWindow::showRecording);
    refresh();
    showRecording();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::build()
{
    auto* top = new QHBoxLayout;
    auto* spanLabel = new QLabel(QStringLiteral("&Span:"), this);
    TrendSpanBox = new QComboBox(this);
    for (const char* text : SpanTexts)
        TrendSpanBox->addItem(QString::fromLatin1(text));
    nameControl(TrendSpanBox, QStringLiteral("TrendSpanBox"));
    spanLabel->setBuddy(TrendSpanBox);
    connect(TrendSpanBox, &QComboBox::currentIndexChanged, this,
            [this](int i) { setSpan(TrendSpan(std::clamp(i, 0, TrendSpanCount - 1))); });
    PauseButton = new QPushButton(QStringLiteral("&Pause"), this);
    nameControl(PauseButton, QStringLiteral("PauseButton"));
    connect(PauseButton, &QPushButton::clicked, this, &TrendWindow::pauseClicked);
    SavePictureButton = new QPushButton(QStringLiteral("Save &picture"), this);
    nameControl(SavePictureButton, QStringLiteral("SavePictureButton"));
    connect(SavePictureButton, &QPushButton::clicked, this, &TrendWindow::savePictureClicked);
    RecordButton = new QPushButton(QStringLiteral("&Record\u2026"), this);
    nameControl(RecordButton, QStringLiteral("RecordButton"));
    connect(RecordButton, &QPushButton::clicked, this, &TrendWindow::recordClicked);
    RecordingLabel = new QLabel(this);
    nameControl(RecordingLabel, QStringLiteral("RecordingLabel"));
    RecordingLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(spanLabel);
    top->addWidget(TrendSpanBox);
    top->addWidget(PauseButton);
    top->addWidget(SavePictureButton);
    top->addWidget(RecordButton);
    top->addWidget(RecordingLabel, 1);

    chart_ = new QChart;
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->legend()->setAlignment(Qt::AlignTop);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    timeAxis_ = new QDateTimeAxis(chart_);
    timeAxis_->setTickCount(7);
    weightAxis_ = new QValueAxis(chart_);
    weightAxis_->setTickCount(6);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(weightAxis_, Qt::AlignLeft);
    grossLines_.push_back(newLine(chart_, GrossColor, QStringLiteral("gross"), timeAxis_, weightAxis_));
    netLines_.push_back(newLine(chart_, NetColor, QStringLiteral("net"), timeAxis_, weightAxis_));
    motionPoints_ = new QScatterSeries(chart_);
    motionPoints_->setName(QStringLiteral("in motion"));
    motionPoints_->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    motionPoints_->setMarkerSize(5);
    motionPoints_->setColor(MotionColor);
    motionPoints_->setBorderColor(MotionColor);
    chart_->addSeries(motionPoints_);
    motionPoints_->attachAxis(timeAxis_);
    motionPoints_->attachAxis(weightAxis_);

    TrendChart = new QChartView(chart_, this);
    nameControl(TrendChart, QStringLiteral("TrendChart"));
    TrendChart->setAccessibleName(QStringLiteral("Weight trend"));
    TrendChart->setRenderHint(QPainter::Antialiasing, false);
    TrendChart->setMinimumSize(600, 300);

    auto* stats = new QHBoxLayout;
    for (std::size_t i = 0; i < statLabels_.size(); ++i) {
        statLabels_[i] = new QLabel(this);
        nameControl(statLabels_[i], QString::fromLatin1(StatNames[i]));
        statLabels_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        stats->addWidget(statLabels_[i]);
        stats->addStretch(1);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(TrendChart, 1);
    layout->addLayout(stats);
}

void TrendWindow::setSpan(TrendSpan span)
{
    span_ = span;
    if (TrendSpanBox->currentIndex() != int(span))
        TrendSpanBox->setCurrentIndex(int(span));
    refresh();
}

void TrendWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    refreshTimer_.start();
}

void TrendWindow::hideEvent(QHideEvent* event)
{
    // Nothing to draw for nobody; the feed and a recording go on without the window.
    refreshTimer_.stop();
    QWidget::hideEvent(event);
}

void TrendWindow::tick()
{
    if (!paused_)
        refresh();
    showRecording();
}

void TrendWindow::refresh()
{
    const qint64 now = feed_.clock().nowMs();
    const TrendSeries& series = feed_.series();
    const TrendStats stats = series.statistics(span_, now);
    drawSeries(series.points(span_, now), stats, now);
    showStatistics(stats);
}

void TrendWindow::drawSeries(const std::vector<TrendPoint>& points, const TrendStats& s,
                             qint64 now)
{
    // The link clock's milliseconds as the wall clock's, for the time axis.
    const qint64 toEpoch = feed_.clock().localDateTime().toMSecsSinceEpoch() - now;
    std::vector<QList<QPointF>> gross(1);
    std::vector<QList<QPointF>> net(1);
    QList<QPointF> motion;
    bool lastNet = false;
    bool any = false;
    double lo = 0;
    double hi = 0;
    for (const TrendPoint& p : points) {
        const QPointF xy(double(p.t + toEpoch), p.value);
        // A gap, or a change between gross and net, ends the stretch: never a line across.
        if (any && (p.breakBefore || p.net != lastNet)) {
            if (!gross.back().isEmpty())
                gross.emplace_back();
            if (!net.back().isEmpty())
                net.emplace_back();
        }
        (p.net ? net : gross).back().append(xy);
        if (!p.settled)
            motion.append(xy);
        lo = any ? std::min(lo, p.value) : p.value;
        hi = any ? std::max(hi, p.value) : p.value;
        lastNet = p.net;
        any = true;
    }
    // The axes first, and only what changed: every change of an axis makes the chart compute
    // every point's place again.
    const qint64 span = trendSpanMs(span_);
    const QString format = span_ <= TrendSpan::TenMinutes ? QStringLiteral("hh:mm:ss")
                                                          : QStringLiteral("hh:mm");
    if (timeAxis_->format() != format)
        timeAxis_->setFormat(format);
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(now + toEpoch - span),
                        QDateTime::fromMSecsSinceEpoch(now + toEpoch));
    const double division = std::pow(10.0, -s.decimals);
    if (!any) {
        lo = 0;
        hi = 1;
    }
    // Scales to what is shown, with room for a few divisions when the weight stands still.
    const double pad = std::max((hi - lo) * 0.08, 2 * division);
    const std::array<double, 2> wanted{lo - pad, hi + pad};
    if (wanted != weightRange_) {
        weightRange_ = wanted;
        // Round steps of 1, 2, 2.5 or 5 times a power of ten, about six of them: the axis
        // hugs what is shown instead of doubling it as the chart's own nice numbers may.
        const double raw = (wanted[1] - wanted[0]) / 6;
        const double decade = std::pow(10.0, std::floor(std::log10(raw)));
        double step = 10 * decade;
        for (const double m : {1.0, 2.0, 2.5, 5.0})
            if (m * decade >= raw) {
                step = m * decade;
                break;
            }
        // Never finer than the display shows: labels of one division apart at least.
        step = std::max(step, division);
        const double from = std::floor(wanted[0] / step) * step;
        const double to = std::ceil(wanted[1] / step) * step;
        weightAxis_->setRange(from, to);
        weightAxis_->setTickCount(int(std::lround((to - from) / step)) + 1);
    }
    const QString labels = QStringLiteral("%.%1f").arg(s.decimals);
    if (weightAxis_->labelFormat() != labels)
        weightAxis_->setLabelFormat(labels);
    if (weightAxis_->titleText() != unitsName(s.units))
        weightAxis_->setTitleText(unitsName(s.units));

    auto fill = [this](std::vector<QLineSeries*>& pool, std::vector<QList<QPointF>>& stretches,
                       const QColor& color) {
        while (pool.size() < stretches.size()) {
            QLineSeries* line = newLine(chart_, color, pool.front()->name(), timeAxis_, weightAxis_);
            // The legend names each kind once.
            for (QLegendMarker* m : chart_->legend()->markers(line))
                m->setVisible(false);
            pool.push_back(line);
        }
        for (std::size_t i = 0; i < pool.size(); ++i) {
            if (i < stretches.size() && !stretches[i].isEmpty())
                pool[i]->replace(stretches[i]);
            else if (pool[i]->count() > 0)
                pool[i]->clear();
        }
    };
    fill(grossLines_, gross, GrossColor);
    fill(netLines_, net, NetColor);
    if (!motion.isEmpty() || motionPoints_->count() > 0)
        motionPoints_->replace(motion);
}

void TrendWindow::showStatistics(const TrendStats& s)
{
    const QString units = unitsName(s.units);
    auto weight = [&](double v, int extra) {
        const QString n = QString::number(v, 'f', s.decimals + extra);
        return units.isEmpty() ? n : n + QLatin1Char(' ') + units;
    };
    const QString none = QStringLiteral("-");
    const bool any = s.count > 0;
    // A value the line stopped bringing is not shown as if it were the weight now.
    const bool old = s.lastAgeMs && *s.lastAgeMs >= StaleAfterMs;
    setStat(statLabels_[0],
            old ? QStringLiteral("last %1 (%2 ago)").arg(weight(s.last, 0), duration(*s.lastAgeMs))
                : QStringLiteral("last %1").arg(any ? weight(s.last, 0) : none));
    setStat(statLabels_[1], QStringLiteral("min %1").arg(any ? weight(s.min, 0) : none));
    setStat(statLabels_[2], QStringLiteral("max %1").arg(any ? weight(s.max, 0) : none));
    setStat(statLabels_[3], QStringLiteral("mean %1").arg(any ? weight(s.mean, 0) : none));
    setStat(statLabels_[4], QStringLiteral("std dev %1").arg(any ? weight(s.stddev, 0) : none));
    setStat(statLabels_[5], s.settledAgoMs
                                ? QStringLiteral("settled %1 ago").arg(duration(*s.settledAgoMs))
                                : QStringLiteral("not settled"));
    setStat(statLabels_[6], s.stableForMs
                                ? QStringLiteral("stable for %1").arg(duration(*s.stableForMs))
                                : QStringLiteral("not stable"));
}

void TrendWindow::showRecording()
{
    const CsvRecorder& r = feed_.recorder();
    QString text;
    if (r.isOpen())
        text = QStringLiteral("Recording to %1: %2 rows").arg(r.path()).arg(r.rows());
    else if (!r.failure().isEmpty())
        text = QStringLiteral("Recording stopped: %1 (%2 rows kept)").arg(r.failure()).arg(r.rows());
    else if (!r.path().isEmpty())
        text = QStringLiteral("Recorded %1 rows to %2").arg(r.rows()).arg(r.path());
    setStat(RecordingLabel, text);
    setButtonCaption(RecordButton, r.isOpen() ? QStringLiteral("Stop &recording")
                                              : QStringLiteral("&Record\u2026"));
}

void TrendWindow::pauseClicked()
{
    paused_ = !paused_;
    setButtonCaption(PauseButton, paused_ ? QStringLiteral("Res&ume") : QStringLiteral("&Pause"));
    if (!paused_)
        refresh();
}

QImage TrendWindow::picture()
{
    return TrendChart->grab().toImage();
}

bool TrendWindow::savePicture(const QString& path, QString* why)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture().save(&buffer, "PNG")) {
        *why = QStringLiteral("The picture could not be made.");
        return false;
    }
    return saveFile(path, png, why);
}

void TrendWindow::savePictureClicked()
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("trend_%1.png")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))));
    const QString path =
        askPath_(QStringLiteral("Save picture"), suggested, QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!savePicture(path, &why))
        QMessageBox::warning(this, QStringLiteral("Save picture"), why);
}

void TrendWindow::recordClicked()
{
    if (feed_.recorder().isOpen()) {
        feed_.stopRecording();
        return;
    }
    const QString suggested = QDir::home().filePath(
        QStringLiteral("weights_%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))));
    const QString path =
        askPath_(QStringLiteral("Record to CSV"), suggested, QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!feed_.startRecording(path, &why))
        QMessageBox::warning(this, QStringLiteral("Record"), why);
}

} // namespace kx
