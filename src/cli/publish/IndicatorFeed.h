#pragma once

#include "cli/CliSession.h"
#include "cli/publish/MqttConnection.h"
#include "cli/publish/PublishRules.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>
#include <optional>

namespace kx::cli {

// What every indicator of one publish run shares.
struct FeedOptions
{
    QString prefix = QStringLiteral("kxlink");
    int qos = 0;
    double rateLimitHz = 0;
    bool onlyChanges = false;
    qint64 heartbeatMs = 30000;
    bool allowCommands = false;
    // False: no broker at all; the feed polls for those who watch its signals.
    bool mqtt = true;
    // Each line said starts with its syslog priority ("<4>"), for the journal.
    bool priorities = false;
};

// One indicator on the broker: its own line and poll cycle (a session of its own), its own
// MQTT connection (so its last will is its own status topic), and its status. A feed that
// fails never touches another.
class IndicatorFeed : public QObject
{
    Q_OBJECT
public:
    // A port that failed or vanished is tried again this often.
    static constexpr std::chrono::milliseconds ReopenInterval{3000};
    // Commands from the broker wait here and go out one a frame; past this many, a command
    // is refused rather than held without bound.
    static constexpr int CommandQueueLimit = 32;

    IndicatorFeed(const QString& name, const QString& programFolder, const LineChoice& line,
                  const FeedOptions& options, const BrokerOptions& broker, bool quiet);
    ~IndicatorFeed() override;

    const QString& name() const { return name_; }
    const QString& status() const { return status_; }
    // What the status says, decided on by the feed; the text follows from it.
    enum class State { Starting, Online, NoAnswer, PortError };
    State state() const { return state_; }
    // A command for the face from elsewhere than the broker, through the same checks and
    // queue as the broker's: false with why when it is refused at once (port not open, queue
    // full). The face may still refuse it when it goes out; that is said.
    bool command(const RemoteCommand& command, const QString& shown, QString* why);
    // Opens the line and connects to the broker; false with why when the broker options are
    // unusable (a port that fails is not: it is retried and its status says why).
    bool start(QString* why);
    // Says "offline" on the status topic and leaves the broker.
    void stop();

signals:
    // The broker refused this feed for good (wrong password, failed TLS check).
    void brokerRefused(const QString& why);
    // Every frame the face shows, before any publish gate.
    void frameShown(const kx::DecodedFrame& frame);
    void stateChanged();

private:
    void onFrame(const DecodedFrame& frame);
    void onFaceChanged();
    void onSilence();
    void reopen();
    void onOpenFinished(bool connected);
    void onBrokerConnected();
    void onBrokerLost(BrokerFailure failure, const QString& why, bool final);
    void onCommand(const QString& topic, const QByteArray& payload);
    void publishFrame(const DecodedFrame& frame, const QDateTime& at);
    void publishHeld();
    void setStatus(State state, const QString& status);
    void portFailed();
    QString portErrorStatus();
    struct QueuedCommand
    {
        RemoteCommand command;
        QString shown;
    };
    // Gives the face the first waiting command; false when the face refused it (said).
    bool sendNextCommand(QString* why = nullptr);
    bool faceFree();
    // priority: syslog's, 4 a warning, 6 information.
    void say(const QString& text, int priority = 6) const;
    QString topic(const char* leaf) const;

    QString name_;
    FeedOptions options_;
    bool quiet_;
    CliSession session_;
    MqttConnection mqtt_;
    PublishGate gate_;
    QElapsedTimer clock_;
    QTimer silence_;
    QTimer reopen_;
    QTimer due_;
    QString status_;
    State state_ = State::Starting;
    std::deque<QueuedCommand> commands_;
    // The open under way is a retry, not the first.
    bool reopening_ = false;
    // While the broker is away only the newest frame is kept; how many went unpublished.
    std::optional<QByteArray> held_;
    int skipped_ = 0;
    std::optional<QDateTime> heldAt_;
};

} // namespace kx::cli
