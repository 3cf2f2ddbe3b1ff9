#include "app/TrendWindow.h"

#include "app/TrendPlot.h"
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

namespace kx {
namespace {

const char* const SpanTexts[TrendSpanCount] = {"1 min", "10 min", "1 h", "8 h"};
const char* const StatNames[] = {"LastLabel",   "MinLabel",     "MaxLabel",   "MeanLabel",
                                 "StdDevLabel", "SettledLabel", "StableLabel"};

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

    TrendChart = new TrendPlot(this);

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
    // The link clock's milliseconds as the wall clock's, for the time axis.
    const qint64 toEpoch = feed_.clock().localDateTime().toMSecsSinceEpoch() - now;
    TrendChart->setSeries(series.points(span_, now), toEpoch, now - trendSpanMs(span_), now,
                          span_ <= TrendSpan::TenMinutes, stats.decimals, unitsName(stats.units));
    showStatistics(stats);
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
        text =
            QStringLiteral("Recording stopped: %1 (%2 rows kept)").arg(r.failure()).arg(r.rows());
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
