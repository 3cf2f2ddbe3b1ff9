// kxlink-cli weigh: the live weight, a line (or a JSON object, or a CSV row) a frame, until
// the count, a silence longer than --timeout, a full disk under --csv, or a signal.
#include "cli/Commands.h"
#include "cli/LineRun.h"
#include "cli/Options.h"
#include "cli/Say.h"
#include "cli/Terminal.h"
#include "settings/UserFile.h"
#include "trend/CsvRecorder.h"
#include "trend/WeightRecord.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <optional>

namespace kx::cli {
namespace {

struct WeighChoice
{
    qint64 count = 0;
    qint64 timeoutMs = 5000;
    bool json = false;
    QString csvPath;
    bool csvOut() const { return csvPath == QLatin1String("-"); }
};

class WeighRun : public LineRun
{
public:
    WeighRun(const CliContext& context, const WeighChoice& choice)
        : LineRun(context), choice_(choice)
    {
        silence_.setSingleShot(true);
        silence_.setTimerType(Qt::PreciseTimer);
        connect(&silence_, &QTimer::timeout, this, [this] { onSilence(); });
        connect(&flush_, &QTimer::timeout, this, [this] {
            csv_.flushIfDue(running_.elapsed());
            // A recording asked for is what the command is for: a full disk ends it.
            if (!csv_.failure().isEmpty())
                conclude();
        });
    }

    ~WeighRun() override { QObject::disconnect(frames_); }

protected:
    void opened() override;

private:
    enum class State
    {
        Opening,
        Weighing,
        Ended,
    };

    void onFrame(const DecodedFrame& frame);
    void onSilence();
    void conclude();

    WeighChoice choice_;
    State state_ = State::Opening;
    CsvRecorder csv_;
    QElapsedTimer running_;
    qint64 shown_ = 0;
    QDateTime last_;
    bool timedOut_ = false;
    QTimer silence_;
    // Rows are written at most once a second; this looks often enough for the interval.
    QTimer flush_;
    std::optional<StopWatch> stop_;
    QMetaObject::Connection frames_;
};

void WeighRun::opened()
{
    running_.start();
    last_ = QDateTime::currentDateTime();
    if (!choice_.csvPath.isEmpty()) {
        QString why;
        if (!csv_.open(choice_.csvPath, running_.elapsed(), &why)) {
            err(QStringLiteral("No recording: %1").arg(why));
            finish(Refused);
            return;
        }
    }
    state_ = State::Weighing;
    frames_ = connect(&session().panel(), &LineSession::frameShown, this,
                      [this](const DecodedFrame& f) { onFrame(f); });
    session().panel().FormActivate();
    stop_.emplace([this] { conclude(); });
    silence_.start(static_cast<int>(choice_.timeoutMs) + 1);
    flush_.start(CsvRecorder::FlushIntervalMs / 4);
}

void WeighRun::onFrame(const DecodedFrame& f)
{
    if (state_ != State::Weighing || (choice_.count > 0 && shown_ >= choice_.count))
        return;
    ++shown_;
    last_ = QDateTime::currentDateTime();
    silence_.start(static_cast<int>(choice_.timeoutMs) + 1);
    if (csv_.isOpen())
        csv_.record({last_, f}, running_.elapsed());
    if (!choice_.csvOut()) {
        if (choice_.json) {
            out(QString::fromUtf8(jsonLine({last_, f})));
        } else {
            const QString unit = unitsName(f.units);
            out(QStringLiteral("%1 %2%3%4").arg(lineText(f.weight.trimmed()), unit,
                                                f.net ? QStringLiteral(" net") : QString(),
                                                f.keepWeight ? QString() : QStringLiteral(" ~")));
        }
    }
    if ((choice_.count > 0 && shown_ >= choice_.count) || !csv_.failure().isEmpty())
        later([this] { conclude(); });
}

void WeighRun::onSilence()
{
    // The frame that restarts the wait may have come on the same turn as its end.
    const qint64 quiet = last_.msecsTo(QDateTime::currentDateTime());
    if (quiet <= choice_.timeoutMs) {
        silence_.start(static_cast<int>(choice_.timeoutMs - quiet) + 1);
        return;
    }
    timedOut_ = true;
    conclude();
}

void WeighRun::conclude()
{
    if (state_ != State::Weighing)
        return;
    state_ = State::Ended;
    QObject::disconnect(frames_);
    silence_.stop();
    flush_.stop();
    stop_.reset();
    // The last rows go out here; a failure now ends the command the same way.
    csv_.close();
    if (!csv_.failure().isEmpty()) {
        err(QStringLiteral("The recording stopped: %1; the file keeps %2 whole rows.")
                .arg(csv_.failure())
                .arg(csv_.rows()));
        return finish(Refused);
    }
    // Weighing until stopped is its normal end.
    if (stopRequested()) {
        if (!context().quiet)
            err(stopMessage());
        return finish(Success);
    }
    if (timedOut_) {
        err(QStringLiteral("No frame from the KX7400 for %1 ms: time-out.").arg(choice_.timeoutMs));
        return finish(TimedOut);
    }
    finish(Success);
}

} // namespace

Started runWeigh(CliContext& c)
{
    WeighChoice choice;
    choice.count = numericOption(c.options, QStringLiteral("count"), 0);
    choice.timeoutMs = numericOption(c.options, QStringLiteral("timeout"), 5000);
    choice.json = c.options.isSet(QStringLiteral("json"));
    choice.csvPath = c.options.value(QStringLiteral("csv"));
    const QString& csvPath = choice.csvPath;
    // Nonsense is refused before the port is opened.
    if (choice.csvOut() && choice.json) {
        err(QStringLiteral("kxlink-cli weigh: --json and --csv - both want standard output"));
        return Usage;
    }
    // Refused as upload refuses its file, before the port is opened: a FIFO would hold the
    // open until a reader came, a device would never hold a recording.
    if (!csvPath.isEmpty() && !choice.csvOut()) {
        QString why = notARegularFile(csvPath);
        if (why.isEmpty() && !QFileInfo(csvPath).absoluteDir().exists())
            why = QStringLiteral("the folder does not exist");
        if (!why.isEmpty()) {
            err(QStringLiteral("No recording: %1: %2; nothing was read or written.").arg(csvPath, why));
            return Refused;
        }
    }
    return std::make_unique<WeighRun>(c, choice);
}

} // namespace kx::cli
