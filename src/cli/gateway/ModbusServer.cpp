#include "cli/gateway/ModbusServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace kx::cli {

using modbus::Exception;
using modbus::Request;

namespace {
// syslog priorities, as the journal files messages.
constexpr int Warning = 4;
constexpr int Notice = 5;
constexpr int Info = 6;

// Nothing a client may send needs more than one whole frame waiting.
constexpr qsizetype BufferLimit = 4 * (modbus::HeaderLength + modbus::MaxPduLength);

QString peerText(const QTcpSocket* s)
{
    return QStringLiteral("%1:%2").arg(s->peerAddress().toString()).arg(s->peerPort());
}
} // namespace

ModbusServer::ModbusServer(ModbusUnits& units, std::function<void(int, const QString&)> log,
                           QObject* parent)
    : QObject(parent), units_(units), log_(std::move(log))
{
    connect(&server_, &QTcpServer::newConnection, this, &ModbusServer::onConnection);
}

ModbusServer::~ModbusServer()
{
    close();
}

bool ModbusServer::listen(const ModbusOptions& options, QString* why)
{
    options_ = options;
    // Accepting is ours to decide: the queue of the listening socket stays short.
    server_.setMaxPendingConnections(options.maxClients);
    if (!server_.listen(options.address, options.port)) {
        *why = QStringLiteral("Modbus: cannot listen on %1:%2: %3")
                   .arg(options.address.toString())
                   .arg(options.port)
                   .arg(server_.errorString());
        return false;
    }
    return true;
}

void ModbusServer::setOptions(const ModbusOptions& options)
{
    options_ = options;
    // A client the new list no longer allows goes now, not at its next connection.
    for (QTcpSocket* s : findChildren<QTcpSocket*>())
        if (!options_.allowed(s->peerAddress())) {
            log_(Notice, QStringLiteral("Modbus client %1 closed: no longer in AllowedClients")
                             .arg(peerText(s)));
            s->abort();
        }
}

void ModbusServer::close()
{
    server_.close();
    for (QTcpSocket* s : findChildren<QTcpSocket*>()) {
        s->disconnect(this);
        s->abort();
        delete s;
    }
    clients_ = 0;
}

void ModbusServer::onConnection()
{
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        s->setParent(this);
        if (!options_.allowed(s->peerAddress())) {
            log_(Warning, QStringLiteral("Modbus client %1 refused: not in AllowedClients").arg(peerText(s)));
            s->abort();
            s->deleteLater();
            continue;
        }
        if (clients_ >= options_.maxClients) {
            log_(Warning, QStringLiteral("Modbus client %1 refused: %2 clients already (MaxClients)")
                              .arg(peerText(s))
                              .arg(clients_));
            s->abort();
            s->deleteLater();
            continue;
        }
        ++clients_;
        log_(Info, QStringLiteral("Modbus client %1 connected").arg(peerText(s)));
        auto* idle = new QTimer(s);
        idle->setSingleShot(true);
        idle->setInterval(IdleLimitMs);
        idle->start();
        connect(idle, &QTimer::timeout, s, [this, s] {
            log_(Info, QStringLiteral("Modbus client %1 closed: silent for %2 s")
                           .arg(peerText(s))
                           .arg(IdleLimitMs / 1000));
            s->abort();
        });
        auto* frameLimit = new QTimer(s);
        frameLimit->setObjectName(QStringLiteral("kxFrameLimit"));
        frameLimit->setSingleShot(true);
        frameLimit->setInterval(FrameLimitMs);
        connect(frameLimit, &QTimer::timeout, s, [this, s] {
            log_(Notice, QStringLiteral("Modbus client %1 closed: a frame was not whole %2 s "
                                        "after its first byte")
                             .arg(peerText(s))
                             .arg(FrameLimitMs / 1000));
            s->abort();
        });
        connect(s, &QTcpSocket::readyRead, this, [this, s, idle] {
            idle->start();
            onReadable(s);
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            --clients_;
            s->disconnect(this);
            s->deleteLater();
        });
    }
}

void ModbusServer::onReadable(QTcpSocket* s)
{
    // Closing after a broken frame: what still comes is not read.
    if (s->property("kxClosing").toBool()) {
        s->readAll();
        return;
    }
    QByteArray buffer = s->property("kxBuffer").toByteArray();
    buffer += s->read(BufferLimit);
    bool tookOne = false;
    while (true) {
        modbus::Cut cut = modbus::takeFrame(buffer);
        if (cut.kind == modbus::Cut::NeedMore)
            break;
        if (cut.kind == modbus::Cut::Broken) {
            log_(Notice, QStringLiteral("Modbus client %1 closed: %2")
                             .arg(peerText(s), QLatin1String(cut.why)));
            // The whole frames before it in the same packet have their answers written
            // already: they go out before the connection closes.
            s->setProperty("kxClosing", true);
            s->disconnectFromHost();
            return;
        }
        s->write(modbus::frame(cut.transaction, cut.unit, answer(cut.unit, cut.pdu)));
        ++answered_;
        tookOne = true;
    }
    s->setProperty("kxBuffer", buffer);
    if (auto* limit = s->findChild<QTimer*>(QStringLiteral("kxFrameLimit"))) {
        // What is left is the start of the next frame: its time runs from now.
        if (buffer.isEmpty())
            limit->stop();
        else if (tookOne || !limit->isActive())
            limit->start();
    }
    // More is waiting than the limit took: read on when this turn is over.
    if (s->bytesAvailable() > 0)
        QTimer::singleShot(0, s, [this, s] { onReadable(s); });
}

QByteArray ModbusServer::answer(std::uint8_t unit, const QByteArray& pdu)
{
    const Request r = modbus::parseRequest(pdu);
    const auto fail = [&r](Exception e) { return modbus::exceptionPdu(r.function, e); };
    const bool write = r.kind == Request::WriteCoil || r.kind == Request::WriteRegister
                       || r.kind == Request::WriteRegisters || r.kind == Request::OtherWrite;
    // Writes are off unless asked for, whatever else is wrong with them.
    if (write && !options_.allowWrites)
        return fail(Exception::IllegalFunction);
    if (r.error != Exception::None)
        return fail(r.error);
    if (!units_.hasUnit(unit))
        return fail(Exception::TargetFailed);
    const UnitState state = units_.unitState(unit);
    switch (r.kind) {
    case Request::ReadRegisters: {
        if (r.address + r.count > reg::Count)
            return fail(Exception::IllegalAddress);
        if (options_.staleException && !(state.online && state.frame))
            return fail(Exception::TargetFailed);
        const auto regs = unitRegisters(state, options_.wordOrder);
        return modbus::readPdu(r.function, std::span(regs).subspan(r.address, r.count));
    }
    case Request::WriteCoil: {
        if (r.address >= KeyCoils)
            return fail(Exception::IllegalAddress);
        // A coil let go is the end of a press: nothing for the face.
        if (r.coilOn)
            if (const Exception e = units_.pressCoil(unit, r.address); e != Exception::None)
                return fail(e);
        return modbus::writePdu(r, pdu);
    }
    case Request::WriteRegisters: {
        if (r.address != reg::Tare || r.count != 2)
            return fail(Exception::IllegalAddress);
        const auto value = std::int32_t(joinWords(r.values[0], r.values[1], options_.wordOrder));
        if (const Exception e = units_.writeTare(unit, value); e != Exception::None)
            return fail(e);
        return modbus::writePdu(r, pdu);
    }
    case Request::WriteRegister:
        // The tare is a pair: half of it is no value.
        return fail(Exception::IllegalAddress);
    default:
        return fail(Exception::IllegalFunction);
    }
}

} // namespace kx::cli
