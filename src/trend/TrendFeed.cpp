#include "trend/TrendFeed.h"

#include "session/LineSession.h"

namespace kx {

TrendFeed::TrendFeed(Clock& clock, LineSession& panel, QObject* parent)
    : QObject(parent), clock_(clock), panel_(panel),
      flushTimer_(clock, int(CsvRecorder::FlushIntervalMs), [this] { tick(); })
{
    connect(&panel, &LineSession::frameShown, this, &TrendFeed::frameShown);
    connect(&panel, &LineSession::faceChanged, this, &TrendFeed::faceChanged);
}

void TrendFeed::frameShown(const DecodedFrame& frame)
{
    const qint64 now = clock_.nowMs();
    series_.add(now, shownNumber(frame.weight), frame.keepWeight, frame.net, frame.decimals,
                frame.units);
    if (recorder_.isOpen()) {
        recorder_.record({clock_.localDateTime(), frame}, now);
        if (!recorder_.isOpen())
            emit recordingChanged();
    }
}

void TrendFeed::faceChanged()
{
    // The face blanks on silence, on a lost port and while the loader has the line; the
    // picture must not draw a line across that time.
    const FaceState& f = panel_.faceState();
    if (f.Weight == QLatin1String("------") || !f.WeighPanelEnabled
        || !panel_.connected())
        series_.markGap();
}

bool TrendFeed::startRecording(const QString& path, QString* why)
{
    const bool ok = recorder_.open(path, clock_.nowMs(), why);
    flushTimer_.setEnabled(ok);
    emit recordingChanged();
    return ok;
}

void TrendFeed::stopRecording()
{
    recorder_.close();
    flushTimer_.stop();
    emit recordingChanged();
}

void TrendFeed::tick()
{
    if (!recorder_.isOpen()) {
        flushTimer_.stop();
        return;
    }
    recorder_.flushIfDue(clock_.nowMs());
    if (!recorder_.isOpen()) {
        flushTimer_.stop();
        emit recordingChanged();
    }
}

} // namespace kx
