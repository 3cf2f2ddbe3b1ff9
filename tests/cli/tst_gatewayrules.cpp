// What the gateway decides without sockets or lines: which configuration files it takes and
// what it says of the others, what a unit's registers hold, and how Modbus frames are cut and
// checked.
#include "cli/gateway/GatewayConfig.h"
#include "cli/gateway/ModbusFrame.h"
#include "cli/gateway/RegisterMap.h"

#include <QTemporaryDir>
#include <QTest>
#include <bit>
#include <cmath>

using namespace kx;
using namespace kx::cli;

namespace {

DecodedFrame frame(const char* weight, bool settled, bool net = false, int decimals = 2)
{
    DecodedFrame f;
    f.weight = QString::fromLatin1(weight);
    f.keepWeight = settled;
    f.net = net;
    f.units = FrameUnits::Kilograms;
    f.decimals = decimals;
    return f;
}

UnitState online(const DecodedFrame& f)
{
    UnitState s;
    s.frame = f;
    s.online = true;
    s.frames = 7;
    s.ageMs = 250;
    return s;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

const char* kPlant = R"(# a plant
[Modbus]
Listen=0.0.0.0:1502
WordOrder=cdab
StaleReply=exception
AllowWrites=1
AllowedClients=10.1.0.0/16, 127.0.0.1
MaxClients=4

[MQTT]
Broker=mqtt://hub.plant:1884
Topic=plant/scales
QoS=1
OnlyChanges=1

[Indicator silo1]
Device=/dev/ttyUSB0
Baud=9600
Parity=none
Unit=1

[Indicator truck]
Port=2
Mode=demand
Unit=7
)";

} // namespace

class TestGatewayRules : public QObject
{
    Q_OBJECT
private slots:
    void aPlantFileIsReadWhole()
    {
        QString why;
        const auto c = parseGatewayConfig(kPlant, QStringLiteral("/etc/kxlink/gateway.ini"), &why);
        QVERIFY2(c, qPrintable(why));
        QVERIFY(c->modbus && c->mqtt);
        QCOMPARE(c->modbus->address, QHostAddress(QHostAddress::AnyIPv4));
        QCOMPARE(c->modbus->port, 1502);
        QCOMPARE(c->modbus->wordOrder, WordOrder::CDAB);
        QVERIFY(c->modbus->staleException);
        QVERIFY(c->modbus->allowWrites);
        QCOMPARE(c->modbus->maxClients, 4);
        QVERIFY(c->modbus->allowed(QHostAddress(QStringLiteral("10.1.200.3"))));
        QVERIFY(c->modbus->allowed(QHostAddress(QStringLiteral("::ffff:127.0.0.1"))));
        QVERIFY(!c->modbus->allowed(QHostAddress(QStringLiteral("10.2.0.1"))));
        QCOMPARE(c->mqtt->broker.host, QStringLiteral("hub.plant"));
        QCOMPARE(c->mqtt->broker.port, 1884);
        QCOMPARE(c->mqtt->feed.prefix, QStringLiteral("plant/scales"));
        QCOMPARE(c->mqtt->feed.qos, 1);
        QVERIFY(c->mqtt->feed.onlyChanges);
        QCOMPARE(c->indicators.size(), 2);
        QCOMPARE(c->indicators[0].name, QStringLiteral("silo1"));
        QCOMPARE(c->indicators[0].line.device, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(c->indicators[0].line.baud, 9600);
        QCOMPARE(c->indicators[0].line.parity, 1);
        QCOMPARE(c->indicators[1].line.port, 2);
        QCOMPARE(c->indicators[1].line.mode, 1);
        QCOMPARE(c->indicators[1].unit, 7);
    }

    void aBadFileIsRefusedNamingItsLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected"); // the start of why
        const QByteArray ind = "[Indicator a]\nDevice=/dev/ttyS0\nUnit=1\n";
        QTest::newRow("word order") << "[Modbus]\nWordOrder=ABDC\n" + ind
                                    << "g.ini:2: WordOrder=ABDC: ABCD, CDAB, BADC or DCBA";
        QTest::newRow("listen") << "[Modbus]\nListen=502\n" + ind << "g.ini:2: Listen=502";
        QTest::newRow("unknown key") << "[Modbus]\nWordorder=ABCD\nSpeed=9\n" + ind
                                     << "g.ini:3: Speed: not a key of [Modbus]";
        QTest::newRow("repeated key") << "[Modbus]\nMaxClients=3\nmaxclients=4\n" + ind
                                      << "g.ini:3: maxclients again in [Modbus]: it was first at line 2";
        QTest::newRow("unknown section") << QByteArray("[Modbuss]\n") << "g.ini:1: [Modbuss]";
        QTest::newRow("key before section") << QByteArray("Unit=1\n") << "g.ini:1: Unit stands before";
        QTest::newRow("not a line") << "[Modbus]\n" + ind + "garbage\n" << "g.ini:5: \"garbage\"";
        QTest::newRow("unit out of range") << QByteArray("[Modbus]\n[Indicator a]\nDevice=/d\nUnit=248\n")
                                           << "g.ini:4: Unit=248";
        QTest::newRow("unit missing") << QByteArray("[Modbus]\n[Indicator a]\nDevice=/d\n")
                                      << "g.ini:2: [Indicator a]: give it its Modbus unit ID";
        QTest::newRow("unit twice") << "[Modbus]\n" + ind + "[Indicator b]\nDevice=/dev/ttyS1\nUnit=1\n"
                                    << "g.ini:7: Unit=1 is [Indicator a]'s already";
        QTest::newRow("same line twice") << "[Modbus]\n" + ind + "[Indicator b]\nDevice=/dev/ttyS0\nUnit=2\n"
                                         << "g.ini:5: [Indicator b]: its line is [Indicator a]'s";
        QTest::newRow("device and port") << QByteArray("[MQTT]\n[Indicator a]\nDevice=/d\nPort=1\n")
                                         << "g.ini:2: [Indicator a]: give Device=PATH or Port=N";
        QTest::newRow("baud") << QByteArray("[MQTT]\n[Indicator a]\nDevice=/d\nBaud=1234\n") << "g.ini:4: Baud=1234";
        QTest::newRow("name with wildcard") << QByteArray("[MQTT]\n[Indicator a/#]\n") << "g.ini:2: [Indicator a/#]";
        QTest::newRow("topic") << "[MQTT]\nTopic=$SYS\n" + ind << "g.ini:2: Topic=$SYS";
        QTest::newRow("broker") << "[MQTT]\nBroker=ftp://x\n" + ind << "g.ini:2: Broker=ftp://x";
        QTest::newRow("tls without CA") << "[MQTT]\nBroker=mqtts://hub\n" + ind << "g.ini:2: mqtts:// needs CAFile=";
        QTest::newRow("password file missing") << "[MQTT]\nUser=u\nPasswordFile=nope\n" + ind
                                               << "g.ini:3: PasswordFile=nope: cannot be read";
        QTest::newRow("allowed clients") << "[Modbus]\nAllowedClients=10.0.0.0/8, plc-1\n" + ind
                                         << "g.ini:2: AllowedClients: \"plc-1\"";
        QTest::newRow("no indicator") << QByteArray("[Modbus]\n") << "g.ini:1: no [Indicator NAME]";
        QTest::newRow("nowhere to serve") << QByteArray("# nothing\n") + ind << "g.ini:2: neither [Modbus] nor [MQTT]";
        for (const char* word : {"yes", "true", "on", "01"})
            QTest::addRow("AllowWrites=%s", word)
                << "[Modbus]\nAllowWrites=" + QByteArray(word) + "\n" + ind
                << QStringLiteral("g.ini:2: AllowWrites=%1: 0 or 1").arg(word);
        QTest::newRow("NUL") << QByteArray("[Modbus]\nListen=1\0.0.0.1:5\n", 25) << "g.ini:2: a control character";
    }
    void aBadFileIsRefusedNamingItsLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QString why;
        QVERIFY(!parseGatewayConfig(text, QStringLiteral("/etc/g.ini"), &why));
        QVERIFY2(why.startsWith(expected), qPrintable(why));
    }

    void relativePathsAreTheFilesOwn()
    {
        QTemporaryDir dir;
        QFile pw(dir.filePath(QStringLiteral("pw")));
        QVERIFY(pw.open(QIODevice::WriteOnly));
        pw.write("s3cret\r\nignored\n");
        pw.close();
        QString why;
        const auto c = parseGatewayConfig("[MQTT]\nUser=scale\nPasswordFile=pw\n[Indicator a]\nDevice=/dev/ttyS0\n",
                                          dir.filePath(QStringLiteral("g.ini")), &why);
        QVERIFY2(c, qPrintable(why));
        QCOMPARE(c->mqtt->broker.password, QStringLiteral("s3cret"));
        QCOMPARE(c->indicators[0].unit, 0); // no Modbus, no unit asked for
    }

    void wordOrders_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<quint16>("first");
        QTest::addColumn<quint16>("second");
        // 0x11223344 as the four orders lay it out.
        QTest::newRow("ABCD") << int(WordOrder::ABCD) << quint16(0x1122) << quint16(0x3344);
        QTest::newRow("CDAB") << int(WordOrder::CDAB) << quint16(0x3344) << quint16(0x1122);
        QTest::newRow("BADC") << int(WordOrder::BADC) << quint16(0x2211) << quint16(0x4433);
        QTest::newRow("DCBA") << int(WordOrder::DCBA) << quint16(0x4433) << quint16(0x2211);
    }
    void wordOrders()
    {
        QFETCH(int, order);
        QFETCH(quint16, first);
        QFETCH(quint16, second);
        const auto words = splitWords(0x11223344u, WordOrder(order));
        QCOMPARE(words[0], first);
        QCOMPARE(words[1], second);
        QCOMPARE(joinWords(first, second, WordOrder(order)), 0x11223344u);
        // and the weight as a PLC reads it back in that order
        const auto regs = unitRegisters(online(frame("  12.50", true)), WordOrder(order));
        QCOMPARE(std::bit_cast<float>(joinWords(regs[reg::WeightFloat], regs[reg::WeightFloat + 1], WordOrder(order))), 12.5f);
        QCOMPARE(joinWords(regs[reg::WeightScaled], regs[reg::WeightScaled + 1], WordOrder(order)), 1250u);
    }

    void registersOfAUnit_data()
    {
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("settled");
        QTest::addColumn<bool>("net");
        QTest::addColumn<bool>("isOnline");
        QTest::addColumn<double>("value"); // NaN: no value
        QTest::addColumn<quint32>("scaled");
        QTest::addColumn<int>("status");
        using namespace kx::cli::status;
        const double nan = std::nan("");
        QTest::newRow("settled gross") << "  12.50" << true << false << true << 12.5 << 1250u << int(DataValid | Settled);
        QTest::newRow("moving net") << "   3.05" << false << true << true << 3.05 << 305u << int(DataValid | InMotion | Net);
        QTest::newRow("negative") << "-  1.50" << true << false << true << -1.5 << quint32(-150) << int(DataValid | Settled);
        QTest::newRow("overload") << " OVERLD" << true << false << true << nan << NoScaledValue << int(DataValid | Settled | OverRange);
        QTest::newRow("question mark") << "      ?" << false << false << true << nan << NoScaledValue << int(DataValid | InMotion | OverRange);
        QTest::newRow("stale") << "  12.50" << true << false << false << nan << NoScaledValue << int(NoAnswer);
    }
    void registersOfAUnit()
    {
        QFETCH(QString, weight);
        QFETCH(bool, settled);
        QFETCH(bool, net);
        QFETCH(bool, isOnline);
        QFETCH(double, value);
        QFETCH(quint32, scaled);
        QFETCH(int, status);
        UnitState s = online(frame(weight.toLatin1(), settled, net));
        s.online = isOnline;
        s.noAnswer = !isOnline;
        const auto r = unitRegisters(s, WordOrder::ABCD);
        const float f = std::bit_cast<float>(joinWords(r[reg::WeightFloat], r[reg::WeightFloat + 1], WordOrder::ABCD));
        if (std::isnan(value))
            QVERIFY(std::isnan(f));
        else
            QCOMPARE(f, float(value));
        QCOMPARE(joinWords(r[reg::WeightScaled], r[reg::WeightScaled + 1], WordOrder::ABCD), scaled);
        QCOMPARE(int(r[reg::Status]), status);
        QCOMPARE(r[reg::Decimals], 2);
        QCOMPARE(r[reg::Units], quint16(UnitsCode::Kilograms));
        QCOMPARE(r[reg::FrameCounter], 7);
        QCOMPARE(r[reg::Age], 2);
    }

    void ageSaysNeverAndSaturates()
    {
        UnitState s;
        QCOMPARE(unitRegisters(s, WordOrder::ABCD)[reg::Age], 0xFFFF);
        s.ageMs = 24LL * 3600 * 1000;
        QCOMPARE(unitRegisters(s, WordOrder::ABCD)[reg::Age], 0xFFFF);
    }

    void tareAsTheFaceTypesIt_data()
    {
        QTest::addColumn<int>("scaled");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text"); // empty: refused
        QTest::newRow("two decimals") << 250 << 2 << "2.50";
        QTest::newRow("below one") << 5 << 2 << "0.05";
        QTest::newRow("grams") << 1200 << 0 << "1200";
        QTest::newRow("negative") << -1 << 2 << "";
    }
    void tareAsTheFaceTypesIt()
    {
        QFETCH(int, scaled);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        QString why;
        const auto t = tareText(scaled, decimals, &why);
        QCOMPARE(t.value_or(QString()), text);
        QCOMPARE(why.isEmpty(), !text.isEmpty());
    }

    void framesAreCutWhole()
    {
        // Two requests in one read, the second short of a byte.
        QByteArray buffer = hex("000100000006010300000002") + hex("000200000006020400000001");
        buffer.chop(1);
        auto cut = modbus::takeFrame(buffer);
        QCOMPARE(cut.kind, modbus::Cut::Frame);
        QCOMPARE(cut.transaction, 1);
        QCOMPARE(cut.unit, 1);
        QCOMPARE(cut.pdu, hex("0300000002"));
        QCOMPARE(modbus::takeFrame(buffer).kind, modbus::Cut::NeedMore);
        buffer += hex("01");
        cut = modbus::takeFrame(buffer);
        QCOMPARE(cut.kind, modbus::Cut::Frame);
        QCOMPARE(cut.unit, 2);
        QVERIFY(buffer.isEmpty());
    }

    void brokenStreamsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("protocol 1") << hex("00010001000601030000000a");
        QTest::newRow("length 1") << hex("00010000000101");
        QTest::newRow("length 0") << hex("00010000000001");
        QTest::newRow("length beyond a PDU") << hex("00010000010001");
    }
    void brokenStreamsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QByteArray buffer = bytes;
        QCOMPARE(modbus::takeFrame(buffer).kind, modbus::Cut::Broken);
    }

    void requestsAreChecked_data()
    {
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("error");
        using modbus::Exception;
        using modbus::Request;
        QTest::newRow("read holding") << hex("030000000a") << int(Request::ReadRegisters) << int(Exception::None);
        QTest::newRow("read input") << hex("0400050001") << int(Request::ReadRegisters) << int(Exception::None);
        QTest::newRow("read none") << hex("0300000000") << int(Request::ReadRegisters) << int(Exception::IllegalValue);
        QTest::newRow("read 126") << hex("030000007e") << int(Request::ReadRegisters) << int(Exception::IllegalValue);
        QTest::newRow("read too long") << hex("030000000a00") << int(Request::ReadRegisters) << int(Exception::IllegalValue);
        QTest::newRow("coil on") << hex("050000ff00") << int(Request::WriteCoil) << int(Exception::None);
        QTest::newRow("coil 1234") << hex("0500001234") << int(Request::WriteCoil) << int(Exception::IllegalValue);
        QTest::newRow("coils one") << hex("0f000000010101") << int(Request::WriteCoil) << int(Exception::None);
        QTest::newRow("coils two") << hex("0f000000020103") << int(Request::WriteCoil) << int(Exception::IllegalValue);
        QTest::newRow("coils byte count") << hex("0f00000001020100") << int(Request::WriteCoil) << int(Exception::IllegalValue);
        QTest::newRow("registers pair") << hex("10000a00020400000100") << int(Request::WriteRegisters) << int(Exception::None);
        QTest::newRow("registers short") << hex("10000a000204000001") << int(Request::WriteRegisters) << int(Exception::IllegalValue);
        QTest::newRow("mask write") << hex("16000000ff0000") << int(Request::OtherWrite) << int(Exception::IllegalFunction);
        QTest::newRow("unknown function") << hex("2b0e0100") << int(Request::Unknown) << int(Exception::IllegalFunction);
        QTest::newRow("exception code as function") << hex("8300") << int(Request::Unknown) << int(Exception::IllegalFunction);
    }
    void requestsAreChecked()
    {
        QFETCH(QByteArray, pdu);
        QFETCH(int, kind);
        QFETCH(int, error);
        const auto r = modbus::parseRequest(pdu);
        QCOMPARE(int(r.kind), kind);
        QCOMPARE(int(r.error), error);
    }

    void answersAreFramed()
    {
        const std::uint16_t regs[] = {0x4148, 0x0000};
        QCOMPARE(modbus::frame(0x0102, 3, modbus::readPdu(4, regs)), hex("0102000000070304044148" "0000"));
        QCOMPARE(modbus::frame(9, 200, modbus::exceptionPdu(3, modbus::Exception::TargetFailed)),
                 hex("000900000003c8830b"));
    }
};

QTEST_GUILESS_MAIN(TestGatewayRules)
#include "tst_gatewayrules.moc"
