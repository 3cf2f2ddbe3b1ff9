#include "link/ReplyFrame.h"

#include <QTest>

using namespace kx;

// Reply frames as the indicator sends them, and bytes that only look like one.
class ReplyFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<FrameUnits>("units");
        QTest::addColumn<bool>("net");
        QTest::addColumn<int>("decimals");

        QTest::newRow("net pounds, settled") << QByteArray("  12.50_LB NT    ") << "  12.50" << true
                                             << FrameUnits::Pounds << true << 2;
        QTest::newRow("gross kilograms, moving") << QByteArray("   -3.5 KG GR    ") << "   -3.5"
                                                 << false << FrameUnits::Kilograms << false << 1;
        QTest::newRow("lower case units and mode") << QByteArray("    500 oz nt    ") << "    500"
                                                   << false << FrameUnits::Ounces << true << 0;
        QTest::newRow("grams by the first letter alone")
            << QByteArray("    500 GX GR    ") << "    500" << false << FrameUnits::Grams << false
            << 0;
        QTest::newRow("point last has no decimals") << QByteArray("  1250._LB GR    ") << "  1250."
                                                    << true << FrameUnits::Pounds << false << 0;
        QTest::newRow("blank after the point counts")
            << QByteArray(" 123.4 _KG GR    ") << " 123.4 " << true << FrameUnits::Kilograms
            << false << 2;
        QTest::newRow("only the first point counts") << QByteArray(" 1.2.3 _KG GR    ") << " 1.2.3 "
                                                     << true << FrameUnits::Kilograms << false << 4;
        // Malformed: whatever the bytes, a frame comes out and nothing is read past the end.
        QTest::newRow("empty") << QByteArray() << "       " << false << FrameUnits::None << false
                               << 0;
        QTest::newRow("short: weight only")
            << QByteArray("  12.5") << "  12.5 " << false << FrameUnits::None << false << 2;
        QTest::newRow("short: cut inside the units")
            << QByteArray("  12.50_L") << "  12.50" << true << FrameUnits::None << false << 2;
        QTest::newRow("short: cut inside the mode")
            << QByteArray("  12.50_LB N") << "  12.50" << true << FrameUnits::Pounds << false << 2;
        QTest::newRow("too long: the rest is ignored")
            << QByteArray("  12.50_LB NT    trailing") << "  12.50" << true << FrameUnits::Pounds
            << true << 2;
        QTest::newRow("unknown units") << QByteArray("  12.50_TN NT    ") << "  12.50" << true
                                       << FrameUnits::None << true << 2;
        QTest::newRow("units and mode one column late")
            << QByteArray("  12.50_ LB NT   ") << "  12.50" << true << FrameUnits::None << false
            << 2;
        QTest::newRow("control and high bytes")
            << QByteArray("\x06\x15\xff\x80\r\n\x04\xe9KG\x01NT\x02\x03\x04\x05")
            << QString::fromLatin1("\x06\x15\xff\x80\r\n\x04") << false << FrameUnits::Kilograms
            << true << 0;
    }
    void decodes()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, weight);
        QFETCH(bool, keep);
        QFETCH(FrameUnits, units);
        QFETCH(bool, net);
        QFETCH(int, decimals);
        const DecodedFrame d = decodeReplyFrame(frame);
        QCOMPARE(d.weight, weight);
        QCOMPARE(d.keepWeight, keep);
        QCOMPARE(d.units, units);
        QCOMPARE(d.net, net);
        QCOMPARE(d.decimals, decimals);
    }
};

QTEST_GUILESS_MAIN(ReplyFrameTest)
#include "tst_replyframe.moc"
