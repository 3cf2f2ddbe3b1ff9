#include "cli/publish/IndicatorFeed.h"

#include "cli/Terminal.h"
#include "link/PollCycle.h"
#include "trend/WeightRecord.h"

#include <QSysInfo>
#include <QLoggingCategory>
#include <cstdio>
#include <utility>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFeed, "kx.cli.publish", QtInfoMsg)

namespace kx::cli {
namespace {

// The poll cycle gives up on a reply after this long without a frame: the same silence
// makes the feed say "no answer".
constexpr auto SilenceLimit = PollCycle::PollInterval * PollCycle::ReplyWaitLimit;

QString clientId(const QString& name)
{
    return QStringLiteral("kxlink-%1-%2-%3")
        .arg(QSysInfo::machineHostName())
        .arg(::getpid())
        .arg(name);
}

} // namespace

IndicatorFeed::IndicatorFeed(const QString& name, const QString& programFolder,
                             const LineChoice& line, const FeedOptions& options,
                             const BrokerOptions& broker, bool quiet)
    : name_(name), options_(options), quiet_(quiet), session_(programFolder, line, true),
      mqtt_(clientId(name), broker),
      gate_(options.rateLimitHz, options.onlyChanges, options.heartbeatMs)
{
    clock_.start();
    silence_.setSingleShot(true);
    silence_.setInterval(SilenceLimit);
    connect(&silence_, &QTimer::timeout, this, &IndicatorFeed::onSilence);
    reopen_.setInterval(ReopenInterval);
    connect(&reopen_, &QTimer::timeout, this, &IndicatorFeed::reopen);
    due_.setSingleShot(true);
    due_.setTimerType(Qt::PreciseTimer);
    connect(&due_, &QTimer::timeout, this, &IndicatorFeed::publishHeld);

    connect(&session_.panel(), &LineSession::frameShown, this, &IndicatorFeed::onFrame);
    connect(&session_.panel(), &LineSession::faceChanged, this, &IndicatorFeed::onFaceChanged);
    connect(&session_.panel(), &LineSession::openFinished, this, &IndicatorFeed::onOpenFinished);
    connect(&mqtt_, &MqttConnection::connected, this, &IndicatorFeed::onBrokerConnected);
    connect(&mqtt_, &MqttConnection::disconnected, this, &IndicatorFeed::onBrokerLost);
    connect(&mqtt_, &MqttConnection::messageReceived, this, &IndicatorFeed::onCommand);
    mqtt_.setWill(topic("status"), "offline");
    if (options_.allowCommands)
        mqtt_.subscribe(topic("cmd"));
}

IndicatorFeed::~IndicatorFeed()
{
    // The session's own close still changes the face; nothing of this feed may hear it while
    // the feed is half gone.
    QObject::disconnect(&session_.panel(), nullptr, this, nullptr);
    QObject::disconnect(&mqtt_, nullptr, this, nullptr);
}

QString IndicatorFeed::topic(const char* leaf) const
{
    return QStringLiteral("%1/%2/%3").arg(options_.prefix, name_, QLatin1String(leaf));
}

void IndicatorFeed::say(const QString& text, int priority) const
{
    // Quiet hides progress; where lines carry a priority, warnings still go to the journal.
    if (quiet_ && !(options_.priorities && priority <= 4))
        return;
    if (options_.priorities)
        std::fprintf(stderr, "<%d>%s: %s\n", priority, qPrintable(terminalText(name_)),
                     qPrintable(terminalText(text)));
    else
        std::fprintf(stderr, "%s: %s\n", qPrintable(terminalText(name_)),
                     qPrintable(terminalText(text)));
}

bool IndicatorFeed::start(QString* why)
{
    if (options_.mqtt && !mqtt_.start(why))
        return false;
    // The open goes on on the event loop; onOpenFinished takes it from there.
    if (!session_.beginOpen()) {
        setStatus(State::PortError, portErrorStatus());
        reopen_.start();
    }
    return true;
}

void IndicatorFeed::stop()
{
    silence_.stop();
    reopen_.stop();
    due_.stop();
    if (!options_.mqtt)
        return;
    // A goodbye said in words: the will is only for a death.
    mqtt_.publish(topic("status"), "offline", 1, true);
    mqtt_.stop();
}

void IndicatorFeed::onFrame(const DecodedFrame& frame)
{
    silence_.start();
    if (state_ != State::Online)
        setStatus(State::Online, QStringLiteral("online"));
    emit frameShown(frame);
    // The face sends what is pending after this frame; the next command waits for the one
    // after, so each goes out on a frame of its own, in the order they came.
    if (!commands_.empty() && faceFree())
        sendNextCommand();
    const qint64 now = clock_.elapsed();
    if (gate_.offer(frame, now)) {
        publishFrame(frame, QDateTime::currentDateTime());
        gate_.published(frame, now);
    } else if (const qint64 next = gate_.nextDue(); next >= 0 && !due_.isActive()) {
        due_.start(std::max<qint64>(0, next - now));
    }
}

void IndicatorFeed::publishHeld()
{
    const qint64 now = clock_.elapsed();
    if (const auto frame = gate_.due(now)) {
        publishFrame(*frame, QDateTime::currentDateTime());
        gate_.published(*frame, now);
    }
}

void IndicatorFeed::publishFrame(const DecodedFrame& frame, const QDateTime& at)
{
    if (!options_.mqtt)
        return;
    const QByteArray json = jsonLine({at, frame});
    if (mqtt_.publish(topic("weight"), json, options_.qos, false))
        return;
    // The broker is away: the newest frame waits, the rest are only counted.
    if (held_)
        ++skipped_;
    held_ = json;
}

void IndicatorFeed::onFaceChanged()
{
    if (session_.panel().connected())
        return;
    // A port that fails after it opened, before its first frame, is still in port error by
    // status; the reopen must start all the same, or nothing ever tries the port again.
    if (state_ != State::PortError)
        portFailed();
    if (!reopen_.isActive() && !session_.panel().opening())
        reopen_.start();
}

void IndicatorFeed::portFailed()
{
    silence_.stop();
    if (!commands_.empty()) {
        say(QStringLiteral("%1 waiting commands dropped: the port is not open")
                .arg(commands_.size()));
        commands_.clear();
    }
    setStatus(State::PortError, portErrorStatus());
}

// One wording for every way the port fails, so one failure is one status.
QString IndicatorFeed::portErrorStatus()
{
    const QString reason = session_.panel().lastOpenError();
    return QStringLiteral("port error: %1").arg(reason.isEmpty() ? session_.lastError() : reason);
}

void IndicatorFeed::onSilence()
{
    if (session_.panel().connected())
        setStatus(State::NoAnswer, QStringLiteral("no answer"));
}

void IndicatorFeed::reopen()
{
    if (session_.panel().connected()) {
        reopen_.stop();
        return;
    }
    if (session_.panel().opening())
        return;
    reopening_ = true;
    if (!session_.beginOpen()) {
        if (const QString now = portErrorStatus(); now != status_)
            setStatus(State::PortError, now);
    }
}

void IndicatorFeed::onOpenFinished(bool connected)
{
    const bool again = std::exchange(reopening_, false);
    if (connected) {
        reopen_.stop();
        if (again)
            say(QStringLiteral("the port is open again"));
        // Polling starts with the first open that succeeds, whenever that is.
        session_.panel().FormActivate();
        silence_.start();
        return;
    }
    if (state_ != State::PortError)
        portFailed();
    else if (const QString now = portErrorStatus(); now != status_)
        setStatus(State::PortError, now); // failing for another reason now
    if (!reopen_.isActive())
        reopen_.start();
}

void IndicatorFeed::setStatus(State state, const QString& status)
{
    state_ = state;
    status_ = status;
    say(status, state == State::Online ? 6 : 4);
    emit stateChanged();
    // Retained, so a subscriber that comes later learns it at once.
    if (options_.mqtt)
        mqtt_.publish(topic("status"), status.toUtf8(), 1, true);
}

void IndicatorFeed::onBrokerConnected()
{
    say(QStringLiteral("connected to the broker"));
    if (!status_.isEmpty())
        mqtt_.publish(topic("status"), status_.toUtf8(), 1, true);
    if (held_) {
        if (skipped_ > 0)
            say(QStringLiteral("%1 frames were not published while the broker was away; the "
                               "newest follows")
                    .arg(skipped_));
        mqtt_.publish(topic("weight"), *held_, options_.qos, false);
        held_.reset();
        skipped_ = 0;
    }
}

void IndicatorFeed::onBrokerLost(BrokerFailure, const QString& why, bool final)
{
    if (final) {
        emit brokerRefused(why);
        return;
    }
    say(QStringLiteral("broker away (%1): polling goes on, the newest frame is kept and sent "
                       "when it is back")
            .arg(why));
}

void IndicatorFeed::onCommand(const QString& topic, const QByteArray& payload)
{
    if (topic != this->topic("cmd"))
        return;
    // Shown as the protocol log shows line bytes: a payload never moves the terminal.
    const QString shown = lineText(payload.left(40)) + (payload.size() > 40 ? QStringLiteral("...") : QString());
    QString why;
    const auto command = parseRemoteCommand(payload, &why);
    if (!command) {
        say(QStringLiteral("command \"%1\" refused: %2").arg(shown, why));
        return;
    }
    if (!this->command(*command, shown, &why))
        say(QStringLiteral("command \"%1\" refused: %2").arg(shown, why));
}

bool IndicatorFeed::command(const RemoteCommand& command, const QString& shown, QString* why)
{
    if (!session_.panel().connected()) {
        *why = QStringLiteral("the port is not open");
        return false;
    }
    if (int(commands_.size()) >= CommandQueueLimit) {
        *why = QStringLiteral("%1 commands wait already").arg(CommandQueueLimit);
        return false;
    }
    commands_.push_back({command, shown});
    if (commands_.size() == 1 && faceFree()) {
        // The face's own checks answer at once: a command it refuses is not taken.
        if (!sendNextCommand(why))
            return false;
        say(QStringLiteral("command \"%1\" goes out after the next frame").arg(shown));
        return true;
    }
    say(QStringLiteral("command \"%1\" waits its turn (one goes out a frame; %2 before it)")
            .arg(shown)
            .arg(commands_.size() - 1));
    return true;
}

// Nothing of the face's is still waiting for a frame to go out.
bool IndicatorFeed::faceFree()
{
    const FaceModel& face = session_.panel().face();
    return face.pendingKey() == 0 && face.pendingCommand().isEmpty();
}

bool IndicatorFeed::sendNextCommand(QString* why)
{
    const auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    const QueuedCommand next = commands_.front();
    commands_.pop_front();
    const RemoteCommand* command = &next.command;
    const QString& shown = next.shown;
    LineSession& panel = session_.panel();
    const int beepsBefore = session_.beeps();
    switch (command->kind) {
    case RemoteCommand::Zero:
        panel.face().CommandClick(FaceModel::ZeroTag);
        break;
    case RemoteCommand::Units:
        panel.face().CommandClick(FaceModel::UnitsTag);
        break;
    case RemoteCommand::NetGross:
        panel.face().CommandClick(FaceModel::NetTag);
        break;
    case RemoteCommand::AutoTare:
        panel.face().CommandClick(FaceModel::AutoTareTag);
        break;
    case RemoteCommand::Print:
        panel.face().CommandClick(FaceModel::PrintTag);
        break;
    case RemoteCommand::Tare: {
        // Typed as the face types it: the same checks, and a refused key refuses the whole.
        for (const QChar c : command->tare) {
            panel.face().TareNumberClick(c == QLatin1Char('.') ? FaceModel::PointCode
                                                        : FaceModel::DigitCode + (c.unicode() - '0'));
            if (session_.beeps() != beepsBefore)
                break;
        }
        if (session_.beeps() != beepsBefore) {
            for (int i = 0; i < 16 && panel.faceState().TareWtVisible; ++i)
                panel.face().ButtonLeftClick();
            say(QStringLiteral("command \"%1\" refused: the indicator's face does not take that "
                               "tare")
                    .arg(shown));
            return refuse(QStringLiteral("the indicator's face does not take that tare"));
        }
        panel.face().ButtonEnterClick();
        break;
    }
    }
    if (session_.beeps() != beepsBefore) {
        say(QStringLiteral("command \"%1\" refused: printing is off (NoPrint.cmd)").arg(shown));
        return refuse(QStringLiteral("printing is off (NoPrint.cmd)"));
    }
    return true;
}

} // namespace kx::cli
