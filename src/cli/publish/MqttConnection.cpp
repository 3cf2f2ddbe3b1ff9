#include "cli/publish/MqttConnection.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <mosquitto.h>
#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcMqtt, "kx.cli.mqtt", QtInfoMsg)

namespace kx::cli {
namespace {

// The library keeps global state (its TLS set-up); once a process is enough.
void initLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString libraryError(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttConnection::MqttConnection(const QString& clientId, const BrokerOptions& broker,
                               QObject* parent)
    : QObject(parent), broker_(broker)
{
    initLibrary();
    mosq_ = mosquitto_new(clientId.toUtf8().constData(), true, this);
    if (mosq_) {
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(mosq_, &MqttConnection::onConnect);
        mosquitto_disconnect_callback_set(mosq_, &MqttConnection::onDisconnect);
        mosquitto_message_callback_set(mosq_, &MqttConnection::onMessage);
    }
    // Keep-alive pings and resending of unacknowledged messages.
    housekeeping_.setInterval(1000);
    connect(&housekeeping_, &QTimer::timeout, this, [this] {
        if (socket_ >= 0)
            afterLoop(mosquitto_loop_misc(mosq_));
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttConnection::connectNow);
}

MqttConnection::~MqttConnection()
{
    unwatchSocket();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

void MqttConnection::setWill(const QString& topic, const QByteArray& payload)
{
    willTopic_ = topic;
    willPayload_ = payload;
}

void MqttConnection::subscribe(const QString& topic)
{
    subscriptions_ << topic;
}

bool MqttConnection::start(QString* why)
{
    const auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!mosq_)
        return fail(QStringLiteral("the MQTT client could not be created"));
    if (!broker_.user.isEmpty()) {
        const int rc = mosquitto_username_pw_set(
            mosq_, broker_.user.toUtf8().constData(),
            broker_.password.isEmpty() ? nullptr : broker_.password.toUtf8().constData());
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("user name: %1").arg(libraryError(rc)));
    }
    if (!broker_.caFile.isEmpty()) {
        for (const QString& file : {broker_.caFile, broker_.certFile, broker_.keyFile})
            if (!file.isEmpty() && !QFileInfo(file).isReadable())
                return fail(QStringLiteral("%1: cannot be read").arg(file));
        if (broker_.certFile.isEmpty() != broker_.keyFile.isEmpty())
            return fail(QStringLiteral("--cert and --key go together"));
        const QByteArray ca = broker_.caFile.toLocal8Bit();
        const QByteArray cert = broker_.certFile.toLocal8Bit();
        const QByteArray key = broker_.keyFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(mosq_, ca.constData(), nullptr,
                                         cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("TLS set-up: %1").arg(libraryError(rc)));
    }
    if (!willTopic_.isEmpty()) {
        const int rc = mosquitto_will_set(mosq_, willTopic_.toUtf8().constData(),
                                          int(willPayload_.size()), willPayload_.constData(), 1,
                                          true);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("last will: %1").arg(libraryError(rc)));
    }
    connectNow();
    return true;
}

void MqttConnection::connectNow()
{
    if (stopping_ || final_)
        return;
    const int rc = !everTried_
                       ? mosquitto_connect_async(mosq_, broker_.host.toUtf8().constData(),
                                                 broker_.port, broker_.keepAliveSeconds)
                       : mosquitto_reconnect_async(mosq_);
    everTried_ = true;
    if (rc == MOSQ_ERR_TLS) {
        // On a fast link the handshake may fail inside the connect call itself.
        afterLoop(rc);
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        lose(BrokerFailure::Unreachable,
             QStringLiteral("%1:%2: %3").arg(broker_.host).arg(broker_.port).arg(libraryError(rc)));
        return;
    }
    watchSocket();
}

void MqttConnection::watchSocket()
{
    const int fd = mosquitto_socket(mosq_);
    if (fd != socket_) {
        unwatchSocket();
        socket_ = fd;
        if (fd >= 0) {
            readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(readNotifier_.get(), &QSocketNotifier::activated, this,
                    [this] { afterLoop(mosquitto_loop_read(mosq_, 1)); });
            writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            connect(writeNotifier_.get(), &QSocketNotifier::activated, this,
                    [this] { afterLoop(mosquitto_loop_write(mosq_, 1)); });
            housekeeping_.start();
        }
    }
    // Writable is nearly always true: watch it only while something waits to go out.
    if (writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttConnection::unwatchSocket()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    socket_ = -1;
    housekeeping_.stop();
}

void MqttConnection::afterLoop(int rc)
{
    if (rc == MOSQ_ERR_SUCCESS) {
        watchSocket();
        return;
    }
    if (stopping_)
        return;
    if (rc == MOSQ_ERR_TLS) {
        lose(BrokerFailure::Tls, QStringLiteral("TLS: the handshake with %1:%2 failed (check "
                                                "--cafile and the broker's certificate)")
                                     .arg(broker_.host)
                                     .arg(broker_.port));
        return;
    }
    if (failure_ == BrokerFailure::NotAuthorised || failure_ == BrokerFailure::Refused) {
        // The refusal was already reported from the broker's answer.
        lose(failure_, error_);
        return;
    }
    lose(everConnected_ ? BrokerFailure::Lost : BrokerFailure::Unreachable,
         QStringLiteral("%1:%2: %3").arg(broker_.host).arg(broker_.port).arg(libraryError(rc)));
}

void MqttConnection::lose(BrokerFailure failure, const QString& why)
{
    unwatchSocket();
    const bool wasConnected = connected_;
    connected_ = false;
    failure_ = failure;
    error_ = why;
    // A refusal at the start means the options are wrong and will stay wrong; once we have
    // been in, the broker may be restarting with another set-up, so we keep trying.
    final_ = !everConnected_
             && (failure == BrokerFailure::NotAuthorised || failure == BrokerFailure::Tls
                 || failure == BrokerFailure::Refused);
    if (wasConnected || final_ || !reportedDown_)
        emit disconnected(failure, why, final_);
    reportedDown_ = true;
    if (!final_)
        scheduleRetry();
}

void MqttConnection::scheduleRetry()
{
    if (stopping_ || retry_.isActive())
        return;
    retry_.start(nextRetry_);
    nextRetry_ = std::min(nextRetry_ * 2, LongestRetry);
}

void MqttConnection::onConnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<MqttConnection*>(self);
    if (rc != 0) {
        // CONNACK codes of MQTT 3.1.1: 3 is the only one that may pass by itself.
        c->failure_ = rc == 4 || rc == 5 ? BrokerFailure::NotAuthorised
                      : rc == 3          ? BrokerFailure::Unreachable
                                         : BrokerFailure::Refused;
        c->error_ = QStringLiteral("%1:%2 refused the connection: %3")
                        .arg(c->broker_.host)
                        .arg(c->broker_.port)
                        .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    c->connected_ = true;
    c->everConnected_ = true;
    c->reportedDown_ = false;
    c->failure_ = BrokerFailure::None;
    c->error_.clear();
    c->nextRetry_ = FirstRetry;
    for (const QString& topic : std::as_const(c->subscriptions_))
        mosquitto_subscribe(c->mosq_, nullptr, topic.toUtf8().constData(), 1);
    emit c->connected();
}

void MqttConnection::onDisconnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<MqttConnection*>(self);
    qCDebug(lcMqtt) << "disconnected" << rc;
    c->connected_ = false;
}

void MqttConnection::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* c = static_cast<MqttConnection*>(self);
    // Bounded: a command is a few bytes; anything long is not one of ours.
    const int length = std::min(message->payloadlen, 256);
    emit c->messageReceived(QString::fromUtf8(message->topic),
                            QByteArray(static_cast<const char*>(message->payload),
                                       std::max(0, length)));
}

bool MqttConnection::publish(const QString& topic, const QByteArray& payload, int qos,
                             bool retain)
{
    if (!connected_ || socket_ < 0)
        return false;
    const int rc = mosquitto_publish(mosq_, nullptr, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        afterLoop(rc);
        return false;
    }
    watchSocket();
    return true;
}

void MqttConnection::stop()
{
    stopping_ = true;
    retry_.stop();
    if (socket_ >= 0) {
        mosquitto_disconnect(mosq_);
        // At the end only: let what is queued (the farewell) reach the broker, for at most
        // a second.
        const QDeadlineTimer deadline(1000);
        while (mosquitto_socket(mosq_) >= 0 && !deadline.hasExpired()
               && mosquitto_loop(mosq_, 50, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    unwatchSocket();
    connected_ = false;
}

} // namespace kx::cli
