#include "link/QtSerialDevice.h"

#include "link/DevicePath.h"
#include "link/SerialPortCheck.h"

#include <QFileInfo>

namespace kx {
namespace {

constexpr int StormStrikes = 20;
constexpr qint64 StormWindowMs = 1000;

QSerialPort::Parity toQt(Parity p)
{
    switch (p) {
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

} // namespace

QtSerialDevice::QtSerialDevice(QObject* parent) : QObject(parent)
{
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialDevice::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialDevice::onError);
}

QtSerialDevice::DeviceNode QtSerialDevice::DeviceNode::of(const QString& path)
{
    const QFileInfo info(path);
    DeviceNode node;
    node.exists = info.exists();
    if (node.exists) {
        node.readable = info.isReadable();
        node.writable = info.isWritable();
        node.group = info.group();
    }
    return node;
}

ChannelError QtSerialDevice::diagnoseOpenFailure(const QString& path, const DeviceNode& node,
                                                 QSerialPort::SerialPortError error,
                                                 const QString& systemText)
{
    using Kind = ChannelError::Kind;
    if (!node.exists || error == QSerialPort::DeviceNotFoundError)
        return ChannelError(Kind::NoSuchDevice, path, QStringLiteral("no such device"));
    if (error == QSerialPort::PermissionError) {
        if (!node.readable || !node.writable) {
            const QString& group = node.group;
            return ChannelError(Kind::PermissionDenied, path,
                                group.isEmpty()
                                    ? QStringLiteral("permission denied")
                                    : QStringLiteral("permission denied (join the group \"%1\" "
                                                     "that owns it, then log in again)")
                                          .arg(group));
        }
        return ChannelError(Kind::InUse, path, QStringLiteral("in use by another program"));
    }
    if (error == QSerialPort::OpenError)
        return ChannelError(Kind::InUse, path, QStringLiteral("already open"));
    return ChannelError(Kind::Other, path, systemText);
}

void QtSerialDevice::open(const QString& name, const LineSettings& settings)
{
    // The port opens what the check looked at, by its absolute path: a bare name would be
    // taken under /dev by the port even when the working folder holds a file of that name.
    const QString path = resolveDevicePath(name);
    if (port_.isOpen())
        port_.close();
    path_ = path;
    lost_ = false;
    strikes_ = 0;
    // A blank name would be taken as a device of that name under /dev, or as /dev itself.
    if (name.trimmed().isEmpty())
        throw ChannelError(ChannelError::Kind::Other, QStringLiteral("\"%1\"").arg(name),
                           notASerialPort(name));
    if (!QFileInfo::exists(path))
        throw diagnoseOpenFailure(path, {}, QSerialPort::DeviceNotFoundError, {});
    // Refused before the open: the user's own terminal or /dev/null would otherwise be
    // written to as a scale.
    if (const QString why = notASerialPort(path); !why.isEmpty())
        throw ChannelError(ChannelError::Kind::Other, path, why);
    // The port's lock file is named from the name it opens: the device itself, so a link to it
    // and its own name (or two links) are one line with one owner, not two.
    const QString device = QFileInfo(path).canonicalFilePath();
    port_.setPortName(device.isEmpty() ? path : device);
    if (!port_.open(QIODevice::ReadWrite)) {
        const ChannelError e =
            diagnoseOpenFailure(path, DeviceNode::of(path), port_.error(), port_.errorString());
        port_.clearError();
        throw e;
    }
    try {
        applySettings(settings);
    } catch (const ChannelError&) {
        // A port left open here would hold the device and fill its buffer unread.
        port_.close();
        throw;
    }
}

void QtSerialDevice::close()
{
    if (port_.isOpen())
        port_.close();
    port_.clearError();
}

void QtSerialDevice::applySettings(const LineSettings& s)
{
    if (!port_.isOpen())
        return;
    const bool ok =
        port_.setBaudRate(s.baud) && port_.setParity(toQt(s.parity)) &&
        port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) &&
        port_.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        port_.setFlowControl(QSerialPort::NoFlowControl);
    // A pseudo-terminal (the simulator, a test) has no wire and refuses parity; only a real
    // port that refuses its settings is an error.
    const bool pseudoTerminal =
        QFileInfo(path_).canonicalFilePath().startsWith(QLatin1String("/dev/pts/"));
    if (!ok && !pseudoTerminal)
        throw ChannelError(ChannelError::Kind::Other, path_,
                           QStringLiteral("line settings refused: %1").arg(port_.errorString()));
}

QByteArray QtSerialDevice::read(qint64 maxBytes)
{
    if (!port_.isOpen())
        return {};
    return port_.read(maxBytes);
}

void QtSerialDevice::write(const QByteArray& bytes)
{
    if (!port_.isOpen() || port_.write(bytes) != bytes.size())
        throw ChannelError(ChannelError::Kind::Io, path_,
                           QStringLiteral("cannot send: %1").arg(port_.errorString()));
    // The bytes go to the driver now, not at the event loop's next turn: a message timed to
    // the millisecond leaves when it was timed.
    port_.flush();
}

void QtSerialDevice::clearInput()
{
    if (port_.isOpen() && !port_.clear(QSerialPort::Input))
        throw ChannelError(ChannelError::Kind::Io, path_, port_.errorString());
}

void QtSerialDevice::clearOutput()
{
    if (port_.isOpen() && !port_.clear(QSerialPort::Output))
        throw ChannelError(ChannelError::Kind::Io, path_, port_.errorString());
}

void QtSerialDevice::onReadyRead()
{
    if (lost_)
        return;
    if (port_.bytesAvailable() == 0) {
        if (stormed())
            giveUp(QStringLiteral("the device stopped answering reads"));
        return;
    }
    strikes_ = 0;
    notifyReadable();
}

void QtSerialDevice::onError(QSerialPort::SerialPortError error)
{
    if (lost_ || error == QSerialPort::NoError)
        return;
    if (error == QSerialPort::ResourceError) {
        giveUp(QStringLiteral("the device was removed"));
        return;
    }
    if (error == QSerialPort::ReadError || error == QSerialPort::WriteError) {
        if (!QFileInfo::exists(path_))
            giveUp(QStringLiteral("the device was removed"));
        else if (stormed())
            giveUp(port_.errorString());
    }
}

bool QtSerialDevice::stormed()
{
    if (strikes_ == 0 || strikeWindow_.elapsed() > StormWindowMs) {
        strikes_ = 0;
        strikeWindow_.start();
    }
    return ++strikes_ >= StormStrikes;
}

void QtSerialDevice::giveUp(const QString& reason)
{
    lost_ = true;
    notifyLost(reason);
    close();
}

} // namespace kx
