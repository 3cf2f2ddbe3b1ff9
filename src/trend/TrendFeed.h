#pragma once

#include "link/Clock.h"
#include "link/ReplyFrame.h"
#include "link/Timer.h"
#include "trend/CsvRecorder.h"
#include "trend/TrendSeries.h"

#include <QObject>

namespace kx {

class LineSession;

// What the face shows, over time: every shown frame goes into the trend's series and, while
// one runs, into a CSV recording; a blanked face or a face without the line leaves a gap.
// It listens to the line session and changes nothing there.
class TrendFeed : public QObject
{
    Q_OBJECT
public:
    TrendFeed(Clock& clock, LineSession& panel, QObject* parent = nullptr);

    const TrendSeries& series() const { return series_; }
    CsvRecorder& recorder() { return recorder_; }
    const CsvRecorder& recorder() const { return recorder_; }
    Clock& clock() { return clock_; }

    // A frame the face showed now; also what the session's signal calls.
    void frameShown(const DecodedFrame& frame);
    // A recording stopped by itself tells the window once; a stopped one is closed.
    bool startRecording(const QString& path, QString* why);
    void stopRecording();
    // Writes what the recording has gathered when a second has passed.
    void tick();

signals:
    void recordingChanged();

private:
    void faceChanged();

    Clock& clock_;
    LineSession& panel_;
    TrendSeries series_;
    CsvRecorder recorder_;
    // Writes a recording's gathered rows when frames stop coming.
    Timer flushTimer_;
};

} // namespace kx
