#include "FakeSerialDevice.h"
#include "link/SerialChannel.h"
#include "link/SteppedClock.h"

#include <QTest>
#include <algorithm>

using namespace kx;
using kx::test::FakeSerialDevice;

namespace {
struct Seen
{
    TriggerKind kind;
    quint16 handle;
    int count;
    qint64 at;
};
} // namespace

// The channel's own logic (buffer, patterns, tick timers, delivery order) against the
// scripted device and a stepped clock.
class SerialChannelTest : public QObject
{
    Q_OBJECT

    SteppedClock* clock = nullptr;
    FakeSerialDevice* device = nullptr;
    SerialChannel* channel = nullptr;
    QList<Seen> seen;

    void openPort(int port = 1)
    {
        channel->SetComNumber(port);
        channel->SetOpen(true);
    }

private slots:
    void init()
    {
        clock = new SteppedClock(0);
        auto dev = std::make_unique<FakeSerialDevice>();
        device = dev.get();
        channel = new SerialChannel(*clock, std::move(dev), [](int port) {
            return port == 1 ? QStringLiteral("/dev/pts/7") : QString();
        });
        seen.clear();
        channel->setHandler([this](TriggerKind k, quint16 h, int n) {
            seen.append({k, h, n, clock->nowMs()});
        });
    }
    void cleanup()
    {
        delete channel;
        delete clock;
    }

    void portNumbersMapThroughTheResolver()
    {
        channel->SetComNumber(1);
        QCOMPARE(channel->DevicePath(), QStringLiteral("/dev/pts/7"));
        channel->SetComNumber(3);
        QCOMPARE(channel->DevicePath(), defaultDevicePath(3));
#ifndef Q_OS_WIN
        QCOMPARE(defaultDevicePath(3), QStringLiteral("/dev/ttyS2"));
#endif
    }

    void portZeroNeverOpensNorNotifies()
    {
        openPort(0);
        QVERIFY(!channel->IsOpen());
        QCOMPARE(device->opens, 0);
        device->feed("abc");
        clock->advance(1000);
        QVERIFY(seen.isEmpty());
        QVERIFY(!channel->PutChar('x'));
    }

    void failedOpenLeavesTheChannelClosed()
    {
        device->openError = ChannelError(ChannelError::Kind::InUse, "/dev/pts/7", "in use");
        QVERIFY_THROWS_EXCEPTION(ChannelError, openPort());
        QVERIFY(!channel->IsOpen());
    }

    void availReportsEverythingStillWaiting()
    {
        openPort();
        device->feed("12");
        device->feed("345");
        clock->runPosted();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].kind, TriggerKind::TriggerAvail);
        QCOMPARE(seen[0].count, 5);
        // Left unread, the bytes are reported again with the next arrival.
        device->feed("6");
        clock->runPosted();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[1].count, 6);
        QCOMPARE(channel->GetBlock(6), QByteArray("123456"));
        QCOMPARE(channel->GetInBuffUsed(), 0);
    }

    void patternsIgnoreCaseMatchAcrossReadsAndLeaveTheBytes_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("matches");
        QTest::newRow("READY") << QList<QByteArray>{"xxREADYxx"} << 1;
        QTest::newRow("Ready") << QList<QByteArray>{"Ready"} << 1;
        QTest::newRow("ready") << QList<QByteArray>{"ready"} << 1;
        QTest::newRow("split in two") << QList<QByteArray>{"re", "ady"} << 1;
        QTest::newRow("split in five") << QList<QByteArray>{"r", "e", "a", "d", "y"} << 1;
        // Nothing is learnt from the second of two waiting alike, so they coalesce.
        QTest::newRow("twice in one read") << QList<QByteArray>{"readyREADY"} << 1;
        QTest::newRow("twice in two reads") << QList<QByteArray>{"ready", "READY"} << 2;
        QTest::newRow("near miss") << QList<QByteArray>{"rea", "xdy"} << 0;
    }
    void patternsIgnoreCaseMatchAcrossReadsAndLeaveTheBytes()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, matches);
        openPort();
        const quint16 ready = channel->AddDataTrigger("ready", true);
        QByteArray all;
        for (const QByteArray& p : pieces) {
            device->feed(p);
            all += p;
            clock->runPosted();
        }
        int fired = 0;
        for (const Seen& s : seen)
            if (s.kind == TriggerKind::TriggerData) {
                QCOMPARE(s.handle, ready);
                QCOMPARE(s.count, 5);
                ++fired;
            }
        QCOMPARE(fired, matches);
        QCOMPARE(channel->GetBlock(channel->GetInBuffUsed()), all);
    }

    // A flood of replies and noise (a wrong baud rate, a shorted adapter) must cost time in
    // proportion to its bytes: what waits for delivery stays bounded whatever the burst, and a
    // handler that re-arms its timer on every delivery does not rescan a growing queue.
    void floodOfRepliesAndNoiseStaysBoundedAndLinear()
    {
        openPort();
        channel->AddDataTrigger(QByteArray(1, ctl(Ctl::ACK)), true);
        channel->AddDataTrigger(QByteArray(1, ctl(Ctl::NAK)), true);
        channel->AddDataTrigger("ready", true);
        const quint16 timer = channel->AddTimerTrigger();
        int deliveries = 0;
        channel->setHandler([&](TriggerKind kind, quint16, int count) {
            ++deliveries;
            channel->SetTimerTrigger(timer, 1, true);
            if (kind == TriggerKind::TriggerAvail)
                channel->GetBlock(count);
        });

        QByteArray chunk;
        for (int i = 0; chunk.size() < 4096; ++i)
            chunk += i % 3 == 0 ? QByteArray(1, ctl(Ctl::ACK))
                   : i % 3 == 1 ? QByteArray(1, ctl(Ctl::NAK))
                                : QByteArray("\xff\x13ready\x00");
        const int chunks = (1 << 20) / chunk.size();
        int most = 0;
        for (int i = 0; i < chunks; ++i) {
            // Several reads arrive before the event loop gets to deliver anything.
            device->feed(chunk);
            most = std::max(most, channel->pendingNotifications());
            if (i % 16 == 15)
                clock->runPosted();
        }
        clock->runPosted();
        QVERIFY2(most <= 4, qPrintable(QString::number(most)));
        // At most one delivery per kind and handle for each round of the event loop.
        QVERIFY2(deliveries <= 4 * (chunks / 16 + 1), qPrintable(QString::number(deliveries)));
        QCOMPARE(channel->pendingNotifications(), 0);
    }

    void notificationsArriveInTheOrderTheyArose()
    {
        openPort();
        const quint16 ack = channel->AddDataTrigger(QByteArray(1, ctl(Ctl::ACK)), true);
        device->feed(QByteArray(1, ctl(Ctl::ACK)));
        clock->runPosted();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].kind, TriggerKind::TriggerData);
        QCOMPARE(seen[0].handle, ack);
        QCOMPARE(seen[1].kind, TriggerKind::TriggerAvail);
    }

    void tickTimerExpiresOnceWithinItsWindow_data()
    {
        QTest::addColumn<qint64>("startAt");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<qint64>("expiresAt");
        QTest::newRow("1 tick from a tick edge") << qint64(0) << 1 << qint64(110);
        QTest::newRow("1 tick late in a tick") << qint64(54) << 1 << qint64(110);
        QTest::newRow("1 tick from mid tick") << qint64(60) << 1 << qint64(165);
        QTest::newRow("20 ticks") << qint64(10) << 20 << qint64(21 * 55);
    }
    void tickTimerExpiresOnceWithinItsWindow()
    {
        QFETCH(qint64, startAt);
        QFETCH(int, ticks);
        QFETCH(qint64, expiresAt);
        openPort();
        const quint16 t = channel->AddTimerTrigger();
        clock->advance(startAt);
        channel->SetTimerTrigger(t, ticks, true);
        clock->advance(5000);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].kind, TriggerKind::TriggerTimer);
        QCOMPARE(seen[0].handle, t);
        QCOMPARE(seen[0].at, expiresAt);
        QVERIFY(expiresAt - startAt >= 55 * ticks && expiresAt - startAt <= 55 * (ticks + 1));
    }

    void rearmPostponesAndDisarmPrevents()
    {
        openPort();
        const quint16 t = channel->AddTimerTrigger();
        channel->SetTimerTrigger(t, 1, true);
        clock->advance(100);
        channel->SetTimerTrigger(t, 1, true);
        clock->advance(60);
        QVERIFY(seen.isEmpty());
        clock->advance(10);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].at, 165);

        channel->SetTimerTrigger(t, 1, true);
        clock->advance(50);
        channel->SetTimerTrigger(t, 1, false);
        clock->advance(1000);
        QCOMPARE(seen.size(), 1);
    }

    void receiveBufferIsCapped()
    {
        openPort();
        device->feed(QByteArray(SerialChannel::ReceiveCapacity, 'a') + "tail");
        QCOMPARE(channel->GetInBuffUsed(), SerialChannel::ReceiveCapacity);
        QVERIFY(channel->GetBlock(SerialChannel::ReceiveCapacity).endsWith("tail"));
    }

    void unpluggedDeviceClosesTheChannelAndIsReportedOnce()
    {
        openPort();
        const quint16 t = channel->AddTimerTrigger();
        channel->SetTimerTrigger(t, 1, true);
        int reports = 0;
        channel->setLostHandler([&](const QString&) { ++reports; });
        device->feed("abc");
        device->unplug();
        device->unplug();
        clock->advance(1000);
        QCOMPARE(reports, 1);
        QVERIFY(!channel->IsOpen());
        QVERIFY(seen.isEmpty());
        QVERIFY(!channel->PutString("?"));
        // Back in, the port opens again.
        openPort();
        QVERIFY(channel->IsOpen());
    }

    void sendingRecordsTheBytesInOrder()
    {
        openPort();
        QVERIFY(channel->PutChar('T'));
        QVERIFY(channel->PutString("12.50\r"));
        QCOMPARE(device->written, QByteArray("T12.50\r"));
        device->failWrites = true;
        QVERIFY(!channel->PutChar('U'));
        QCOMPARE(device->written, QByteArray("T12.50\r"));
    }
};

QTEST_GUILESS_MAIN(SerialChannelTest)
#include "tst_serialchannel.moc"
