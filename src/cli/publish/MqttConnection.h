#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

namespace kx::cli {

// How to reach the broker and who to be there.
struct BrokerOptions
{
    QString host = QStringLiteral("localhost");
    int port = 1883;
    QString user;
    QString password;
    // TLS when a CA file is given; a client certificate and key only together.
    QString caFile;
    QString certFile;
    QString keyFile;
    int keepAliveSeconds = 30;
};

// What a broker said when the connection was refused or could not be made.
enum class BrokerFailure
{
    None,
    Unreachable,    // no TCP connection (yet): worth trying again
    Lost,           // the connection went: worth trying again
    NotAuthorised,  // bad user name or password, or not allowed: final
    Tls,            // the TLS handshake or the certificate check failed: final
    Refused,        // any other refusal from the broker: final
};

// One MQTT connection driven from Qt's event loop: the library's socket is watched with
// socket notifiers and its housekeeping runs on a timer, so any number of connections share
// the one thread. While the connection is down it is remade with a backoff (1 s doubling to
// 30 s), unless the broker refused us for good. Publishing while down is refused, never
// queued: the caller decides what to keep.
class MqttConnection : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds FirstRetry{1000};
    static constexpr std::chrono::milliseconds LongestRetry{30000};

    MqttConnection(const QString& clientId, const BrokerOptions& broker, QObject* parent = nullptr);
    ~MqttConnection() override;

    // A retained message the broker publishes for us if the connection dies without a
    // goodbye. Set before start().
    void setWill(const QString& topic, const QByteArray& payload);
    // Topics to subscribe to on every (re)connection.
    void subscribe(const QString& topic);

    // Begins connecting; false with why when the options themselves are unusable (a CA file
    // that cannot be read, and so on).
    bool start(QString* why);
    // Publishes the farewell (if given), says goodbye to the broker and stops retrying.
    void stop();

    bool isConnected() const { return connected_; }
    BrokerFailure lastFailure() const { return failure_; }
    const QString& lastError() const { return error_; }
    // False when the connection is down: nothing was queued.
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain);

signals:
    void connected();
    // The connection went or could not be made; final when the broker refused us for good.
    void disconnected(kx::cli::BrokerFailure failure, const QString& why, bool final);
    void messageReceived(const QString& topic, const QByteArray& payload);

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const ::mosquitto_message* message);

    void connectNow();
    void afterLoop(int rc);
    void watchSocket();
    void unwatchSocket();
    void lose(BrokerFailure failure, const QString& why);
    void scheduleRetry();

    BrokerOptions broker_;
    mosquitto* mosq_ = nullptr;
    QString willTopic_;
    QByteArray willPayload_;
    QStringList subscriptions_;
    int socket_ = -1;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer housekeeping_;
    QTimer retry_;
    std::chrono::milliseconds nextRetry_ = FirstRetry;
    bool connected_ = false;
    bool everConnected_ = false;
    bool everTried_ = false;
    // The caller heard of the outage already: a failed retry is not news.
    bool reportedDown_ = false;
    bool stopping_ = false;
    bool final_ = false;
    BrokerFailure failure_ = BrokerFailure::None;
    QString error_;
};

} // namespace kx::cli
