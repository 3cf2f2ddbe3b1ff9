#pragma once

#include "link/SerialDevice.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>

namespace kx {

// A real serial port (a UART, a USB adapter, a pseudo-terminal) through QSerialPort.
class QtSerialDevice final : public QObject, public SerialDevice
{
    Q_OBJECT
public:
    explicit QtSerialDevice(QObject* parent = nullptr);

    void open(const QString& path, const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    void applySettings(const LineSettings& settings) override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return port_.bytesToWrite(); }
    void clearInput() override;
    void clearOutput() override;

    // What the file system says about a device node, as the diagnosis below needs it.
    struct DeviceNode
    {
        bool exists = false;
        bool readable = false;
        bool writable = false;
        QString group; // the owning group, empty when unknown
        static DeviceNode of(const QString& path);
    };

    // Why a port cannot be opened, in words a user can act on. Pure: the node's facts are
    // read before, so a node that vanished meanwhile reads as missing.
    static ChannelError diagnoseOpenFailure(const QString& path, const DeviceNode& node,
                                            QSerialPort::SerialPortError error,
                                            const QString& systemText);

private:
    void onError(QSerialPort::SerialPortError error);
    void onReadyRead();
    // A vanished device shows up as a storm of failed or empty reads rather than one clean
    // error on some kernels; past a few in a short time the device counts as gone.
    bool stormed();
    void giveUp(const QString& reason);

    QSerialPort port_;
    QString path_;
    int strikes_ = 0;
    QElapsedTimer strikeWindow_;
    bool lost_ = false;
};

} // namespace kx
