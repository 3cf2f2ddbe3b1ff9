// What publish decides without the network: broker addresses, the gate that picks which
// frames go out, and which broker commands reach the face. (The payload is weigh's JSON line,
// tested with it.)
#include "cli/publish/PublishRules.h"

#include <QTest>

using namespace kx;
using namespace kx::cli;

namespace {

DecodedFrame frame(const char* weight, bool settled = true, bool net = false,
                   FrameUnits units = FrameUnits::Pounds)
{
    DecodedFrame f;
    f.weight = QString::fromLatin1(weight);
    f.keepWeight = settled;
    f.net = net;
    f.units = units;
    return f;
}

} // namespace

class TestPublishRules : public QObject
{
    Q_OBJECT
private slots:
    void brokerAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("tls");
        QTest::newRow("default") << "mqtt://localhost:1883" << "localhost" << 1883 << false;
        QTest::newRow("no scheme") << "broker.plant:1884" << "broker.plant" << 1884 << false;
        QTest::newRow("host only") << "10.1.2.3" << "10.1.2.3" << 1883 << false;
        QTest::newRow("tls default port") << "mqtts://hub" << "hub" << 8883 << true;
        QTest::newRow("v6") << "mqtt://[::1]:1999" << "::1" << 1999 << false;
        QTest::newRow("trailing slash") << "mqtt://hub:2000/" << "hub" << 2000 << false;
        QTest::newRow("port zero") << "mqtt://hub:0" << "" << 0 << false;
        QTest::newRow("port too big") << "mqtt://hub:65536" << "" << 0 << false;
        QTest::newRow("port text") << "mqtt://hub:abc" << "" << 0 << false;
        QTest::newRow("other scheme") << "http://hub" << "" << 0 << false;
        QTest::newRow("empty") << "" << "" << 0 << false;
        QTest::newRow("shell text") << "mqtt://hub;rm -rf" << "" << 0 << false;
        QTest::newRow("unclosed v6") << "mqtt://[::1:1883" << "" << 0 << false;
    }
    void brokerAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, tls);
        QString why;
        const auto a = parseBrokerAddress(text, &why);
        if (host.isEmpty()) {
            QVERIFY(!a);
            QVERIFY2(why.contains(QLatin1String("--broker")), qPrintable(why));
            return;
        }
        QVERIFY2(a, qPrintable(why));
        QCOMPARE(a->host, host);
        QCOMPARE(a->port, port);
        QCOMPARE(a->tls, tls);
    }

    // Frames at 10 a second, through each gate: which ones go out, and when a held one does.
    void gate_data()
    {
        QTest::addColumn<double>("hz");
        QTest::addColumn<bool>("onlyChanges");
        QTest::addColumn<int>("heartbeatMs");
        QTest::addColumn<QStringList>("weights"); // one a 100 ms
        QTest::addColumn<QString>("published");   // "time:weight" of each frame out
        QTest::newRow("no gate: every frame")
            << 0.0 << false << 0 << QStringList{"1", "1", "2"} << "0:1 100:1 200:2";
        QTest::newRow("rate 2 Hz: the newest of each period, late ones follow")
            << 2.0 << false << 0 << QStringList{"1", "2", "3", "4", "5", "6", "7"}
            << "0:1 500:6 1000:7";
        QTest::newRow("only changes")
            << 0.0 << true << 0 << QStringList{"1", "1", "1", "2", "2", "1"} << "0:1 300:2 500:1";
        QTest::newRow("only changes with a heartbeat")
            << 0.0 << true << 250 << QStringList{"1", "1", "1", "1", "1", "1"} << "0:1 300:1";
        QTest::newRow("a change held by the rate is not lost")
            << 4.0 << true << 0 << QStringList{"1", "2", "2", "2", "2", "2"} << "0:1 250:2";
        QTest::newRow("a change back before the period ends sends nothing stale")
            << 4.0 << true << 0 << QStringList{"1", "2", "1", "1", "1", "1"} << "0:1";
    }
    void gate()
    {
        QFETCH(double, hz);
        QFETCH(bool, onlyChanges);
        QFETCH(int, heartbeatMs);
        QFETCH(QStringList, weights);
        QFETCH(QString, published);
        PublishGate g(hz, onlyChanges, heartbeatMs);
        QStringList out;
        const auto send = [&](const DecodedFrame& f, qint64 at) {
            out << QStringLiteral("%1:%2").arg(at).arg(f.weight);
            g.published(f, at);
        };
        // Time runs in 10 ms steps; a held frame goes when it is due, as the timer would send it.
        const qint64 end = weights.size() * 100 + 1000;
        for (qint64 t = 0; t < end; t += 10) {
            if (t % 100 == 0 && t / 100 < weights.size()) {
                const DecodedFrame f = frame(qPrintable(weights[int(t / 100)]));
                if (g.offer(f, t))
                    send(f, t);
            }
            if (g.nextDue() >= 0 && t >= g.nextDue())
                if (const auto held = g.due(t))
                    send(*held, t);
        }
        QCOMPARE(out.join(QLatin1Char(' ')), published);
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("kind"); // -1: refused
        QTest::addColumn<QString>("tare");
        QTest::newRow("zero") << QByteArray("zero") << int(RemoteCommand::Zero) << "";
        QTest::newRow("any case, blanks round") << QByteArray(" ZERO\n") << int(RemoteCommand::Zero) << "";
        QTest::newRow("units") << QByteArray("units") << int(RemoteCommand::Units) << "";
        QTest::newRow("net/gross") << QByteArray("net/gross") << int(RemoteCommand::NetGross) << "";
        QTest::newRow("auto tare") << QByteArray("auto tare") << int(RemoteCommand::AutoTare) << "";
        QTest::newRow("print") << QByteArray("print") << int(RemoteCommand::Print) << "";
        QTest::newRow("tare") << QByteArray("tare 12.5") << int(RemoteCommand::Tare) << "12.5";
        QTest::newRow("tare point first") << QByteArray("tare .5") << int(RemoteCommand::Tare) << ".5";
        QTest::newRow("tare negative") << QByteArray("tare -1") << -1 << "";
        QTest::newRow("tare two points") << QByteArray("tare 1.2.3") << -1 << "";
        QTest::newRow("tare empty") << QByteArray("tare") << -1 << "";
        QTest::newRow("tare too long") << QByteArray("tare 123456789") << -1 << "";
        QTest::newRow("raw key byte") << QByteArray("Z") << -1 << "";
        QTest::newRow("two commands") << QByteArray("zero\nprint") << -1 << "";
        QTest::newRow("trailing text") << QByteArray("zero now") << -1 << "";
        QTest::newRow("control byte") << QByteArray("zero\x1b[2J") << -1 << "";
        QTest::newRow("NUL") << QByteArray("zero\0", 5) << -1 << "";
        QTest::newRow("long") << QByteArray(1000, 'z') << -1 << "";
        QTest::newRow("empty") << QByteArray() << -1 << "";
    }
    void commands()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, kind);
        QFETCH(QString, tare);
        QString why;
        const auto c = parseRemoteCommand(payload, &why);
        if (kind < 0) {
            QVERIFY(!c);
            QVERIFY(!why.isEmpty());
            return;
        }
        QVERIFY2(c, qPrintable(why));
        QCOMPARE(int(c->kind), kind);
        QCOMPARE(c->tare, tare);
    }

    void topicLevels()
    {
        QVERIFY(isTopicLevel(QStringLiteral("scale-1")));
        QVERIFY(isTopicLevel(QStringLiteral("ttyUSB0")));
        for (const char* bad : {"", "a/b", "a+", "#", "a\nb"})
            QVERIFY2(!isTopicLevel(QString::fromLatin1(bad)), bad);
        QVERIFY(!isTopicLevel(QString(65, QLatin1Char('a'))));
    }
};

QTEST_GUILESS_MAIN(TestPublishRules)
#include "tst_publishrules.moc"
