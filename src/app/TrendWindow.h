#pragma once

#include "link/Timer.h"
#include "trend/TrendSeries.h"

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace kx {

class TrendFeed;
class TrendPlot;

// The weight over time, in its own window beside the face: the picture of one span with the
// statistics of what it shows under it, a pause for the picture, a picture to keep, and a CSV
// recording of every shown frame. It only draws what the trend feed holds; the feed goes on
// (and records) whether the window is shown, paused or closed.
class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    // The picture is redrawn this often while shown and not paused: once a second keeps the
    // window within a few tenths of a percent of a core beside the face (docs/benchmarks.md).
    static constexpr qint64 RefreshMs = 1000;
    // The newest frame is old once this long has passed without another (ten come a second).
    static constexpr qint64 StaleAfterMs = 2000;

    // saveTo: asks where the picture or a recording goes (empty: not at all); null asks
    // with the platform's file dialog.
    using AskPath = std::function<QString(const QString& caption, const QString& suggested,
                                          const QString& filter)>;
    TrendWindow(TrendFeed& feed, QWidget* parent = nullptr, AskPath askPath = {});
    ~TrendWindow() override;

    void setSpan(TrendSpan span);
    TrendSpan span() const { return span_; }
    bool paused() const { return paused_; }
    // Draws the picture and the statistics of now.
    void refresh();
    // The plot alone, as "Save picture" keeps it.
    QImage picture();
    // Keeps the picture as a PNG at path; false with why.
    bool savePicture(const QString& path, QString* why);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void build();
    void showStatistics(const TrendStats& stats);
    void showRecording();
    void pauseClicked();
    void savePictureClicked();
    void recordClicked();
    void tick();

    TrendFeed& feed_;
    AskPath askPath_;
    Timer refreshTimer_;
    TrendSpan span_ = TrendSpan::OneMinute;
    bool paused_ = false;

    QComboBox* TrendSpanBox = nullptr;
    QPushButton* PauseButton = nullptr;
    QPushButton* SavePictureButton = nullptr;
    QPushButton* RecordButton = nullptr;
    QLabel* RecordingLabel = nullptr;
    TrendPlot* TrendChart = nullptr;
    std::array<QLabel*, 7> statLabels_{};
};

} // namespace kx
