#include "link/QtSerialDevice.h"

#include <QTest>

using namespace kx;
using Node = QtSerialDevice::DeviceNode;
using Kind = ChannelError::Kind;

// Why a port did not open, told from the device node's facts and the port's error alone.
class OpenFailureTest : public QObject
{
    Q_OBJECT

private slots:
    void diagnosis_data()
    {
        QTest::addColumn<Node>("node");
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("reason");

        const Node present{true, true, true, QStringLiteral("dialout")};
        const Node locked{true, false, false, QStringLiteral("dialout")};
        const Node lockedNoGroup{true, false, true, QString()};
        const Node gone{};

        QTest::newRow("missing") << gone << QSerialPort::DeviceNotFoundError << Kind::NoSuchDevice
                                 << "no such device";
        QTest::newRow("missing though the port says otherwise")
            << gone << QSerialPort::OpenError << Kind::NoSuchDevice << "no such device";
        QTest::newRow("vanished between the open and the look")
            << gone << QSerialPort::PermissionError << Kind::NoSuchDevice << "no such device";
        QTest::newRow("node there, port says not found")
            << present << QSerialPort::DeviceNotFoundError << Kind::NoSuchDevice
            << "no such device";
        QTest::newRow("permission, with the group to join")
            << locked << QSerialPort::PermissionError << Kind::PermissionDenied
            << "permission denied (join the group \"dialout\" that owns it, then log in again)";
        QTest::newRow("permission, group unknown") << lockedNoGroup << QSerialPort::PermissionError
                                                   << Kind::PermissionDenied << "permission denied";
        QTest::newRow("busy: refused though we may read and write")
            << present << QSerialPort::PermissionError << Kind::InUse
            << "in use by another program";
        QTest::newRow("busy: already open")
            << present << QSerialPort::OpenError << Kind::InUse << "already open";
        QTest::newRow("anything else keeps the system's words")
            << present << QSerialPort::ResourceError << Kind::Other << "system text";
    }
    void diagnosis()
    {
        QFETCH(Node, node);
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(Kind, kind);
        QFETCH(QString, reason);
        const ChannelError e =
            QtSerialDevice::diagnoseOpenFailure("/dev/ttyUSB0", node, error, "system text");
        QCOMPARE(e.kind(), kind);
        QCOMPARE(e.reason(), reason);
        QCOMPARE(e.describe(), "/dev/ttyUSB0: " + reason);
    }
};

QTEST_GUILESS_MAIN(OpenFailureTest)
#include "tst_openfailure.moc"
