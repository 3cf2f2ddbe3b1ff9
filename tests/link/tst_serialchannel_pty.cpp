#include "PtyPair.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"
#include "link/SerialChannel.h"

#include <QElapsedTimer>
#include <QTest>
#include <sys/resource.h>

using namespace kx;
using kx::test::PtyPair;

namespace {
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

// The channel over a real pseudo-terminal, with real time: only generous bounds here.
class SerialChannelPtyTest : public QObject
{
    Q_OBJECT

    PtyPair* pty = nullptr;
    QtClock* clock = nullptr;
    SerialChannel* channel = nullptr;
    QList<TriggerKind> kinds;
    QList<quint16> handles;
    QElapsedTimer sinceStart;
    qint64 lastAt = -1;

private slots:
    void init()
    {
        pty = new PtyPair;
        QVERIFY(pty->ok());
        clock = new QtClock;
        channel = new SerialChannel(*clock, std::make_unique<QtSerialDevice>(),
                                    [this](int) { return pty->slavePath(); });
        kinds.clear();
        handles.clear();
        channel->setHandler([this](TriggerKind k, quint16 h, int) {
            kinds.append(k);
            handles.append(h);
            lastAt = sinceStart.elapsed();
        });
        channel->SetComNumber(1);
        channel->SetBaud(19200);
        channel->SetOpen(true);
        QVERIFY(channel->IsOpen());
    }
    void cleanup()
    {
        delete channel;
        delete clock;
        delete pty;
    }

    // Real time on a loaded machine: only the lower bounds are exact.
    void oneTickTimerExpiresNoSoonerThanATick()
    {
        const quint16 t = channel->AddTimerTrigger();
        sinceStart.start();
        channel->SetTimerTrigger(t, 1, true);
        QTRY_COMPARE_WITH_TIMEOUT(kinds.size(), 1, 3000);
        QCOMPARE(kinds[0], TriggerKind::TriggerTimer);
        QVERIFY2(lastAt >= 54 && lastAt <= 1000, qPrintable(QString::number(lastAt)));
    }

    void rearmPostponesAndDisarmPrevents()
    {
        const quint16 t = channel->AddTimerTrigger();
        sinceStart.start();
        channel->SetTimerTrigger(t, 4, true);
        QTest::qWait(40);
        const qint64 rearmedAt = sinceStart.elapsed();
        channel->SetTimerTrigger(t, 8, true);
        QTRY_COMPARE_WITH_TIMEOUT(kinds.size(), 1, 3000);
        QVERIFY2(lastAt >= rearmedAt + 8 * 55, qPrintable(QString::number(lastAt)));

        channel->SetTimerTrigger(t, 1, true);
        channel->SetTimerTrigger(t, 1, false);
        QTest::qWait(300);
        QCOMPARE(kinds.size(), 1);
    }

    void readyInAnyCaseFiresAndTheBytesAreStillDelivered()
    {
        const quint16 ready = channel->AddDataTrigger("ready", true);
        QByteArray received;
        channel->setHandler([&](TriggerKind k, quint16 h, int n) {
            kinds.append(k);
            handles.append(h);
            if (k == TriggerKind::TriggerAvail)
                received += channel->GetBlock(n);
        });
        // Each piece is taken before the next is written, so they are separate reads (matches
        // still waiting when another arrives coalesce into one notification).
        QByteArray sent;
        for (const QByteArray piece : {"READY", "Re", "ady", "ready"}) {
            pty->write(piece);
            sent += piece;
            QTRY_COMPARE_WITH_TIMEOUT(received, sent, 2000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(handles.count(ready), 3, 2000);
    }

    void sentBytesReachThePeer()
    {
        QVERIFY(channel->PutString("T12.50\r"));
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < 7 && t.elapsed() < 2000)
            got += pty->read(100);
        QCOMPARE(got, QByteArray("T12.50\r"));
    }

    void vanishedPeerClosesTheChannelWithOneReportAndNoBusyLoop()
    {
        int reports = 0;
        channel->setLostHandler([&](const QString&) { ++reports; });
        pty->write("abc");
        QTRY_VERIFY_WITH_TIMEOUT(!kinds.isEmpty(), 2000);
        pty->closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!channel->IsOpen(), 3000);
        const double before = cpuSeconds();
        QTest::qWait(500);
        QCOMPARE(reports, 1);
        QVERIFY2(cpuSeconds() - before < 0.25, "the process kept busy after the device went away");
    }

    void missingDeviceIsNamedInTheError()
    {
        SerialChannel other(*clock, std::make_unique<QtSerialDevice>(),
                            [](int) { return QStringLiteral("/dev/kxlink-no-such-port"); });
        other.SetComNumber(5);
        try {
            other.SetOpen(true);
            QFAIL("opened a device that does not exist");
        } catch (const ChannelError& e) {
            QCOMPARE(e.kind(), ChannelError::Kind::NoSuchDevice);
            QVERIFY(e.describe().contains("/dev/kxlink-no-such-port"));
        }
        QVERIFY(!other.IsOpen());
    }
};

QTEST_GUILESS_MAIN(SerialChannelPtyTest)
#include "tst_serialchannel_pty.moc"
