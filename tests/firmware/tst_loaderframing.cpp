#include "firmware/LoaderFraming.h"

#include <QFile>
#include <QTest>

using namespace kx;

// Messages to the bootstrap loader against vectors worked out by hand and, for the lines,
// against Intel-HEX files made by srec_cat (data/small.hex).
class LoaderFramingTest : public QObject
{
    Q_OBJECT

private slots:
    void messages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("enter") << loaderEnterMessage() << QByteArray::fromHex("0242534C03DC");
        QTest::newRow("end") << loaderEndMessage() << QByteArray::fromHex("0484");
        // Check bytes of srec_cat's lines, each with CR LF.
        QTest::newRow("extended address")
            << loaderLineMessage(":020000040000FA") << QByteArray(":020000040000FA\r\n\xBC");
        QTest::newRow("data 0") << loaderLineMessage(":100000004B5837343030206C6F61646572204B5828")
                                << QByteArray(
                                       ":100000004B5837343030206C6F61646572204B5828\r\n\xB3");
        QTest::newRow("data 1") << loaderLineMessage(":1000100037343030206C6F61646572204B58373450")
                                << QByteArray(
                                       ":1000100037343030206C6F61646572204B58373450\r\n\xC5");
        QTest::newRow("end of file")
            << loaderLineMessage(":00000001FF") << QByteArray(":00000001FF\r\n\xBC");
        // A payload whose XOR is 0 still carries bit 7.
        QTest::newRow("zero xor") << loaderMessage("AA") << QByteArray("AA\x80");
        QTest::newRow("empty line") << loaderLineMessage("") << QByteArray("\r\n\x87");
    }
    void messages()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, expected);
        QCOMPARE(message.toHex(' '), expected.toHex(' '));
    }

    void everyCheckByteHasBitSevenAndClosesTheXor()
    {
        QFile f(QStringLiteral(KX_HEX_DATA "/image.hex"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        int n = 0;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QByteArray m = loaderLineMessage(line);
            QVERIFY(static_cast<unsigned char>(m.back()) & 0x80);
            unsigned char x = 0;
            for (const char c : m.left(m.size() - 1))
                x ^= static_cast<unsigned char>(c);
            QCOMPARE(static_cast<unsigned char>(m.back()), static_cast<unsigned char>(x | 0x80));
            QVERIFY(m.startsWith(line + "\r\n"));
            ++n;
        }
        QCOMPARE(n, 194);
    }
};

QTEST_GUILESS_MAIN(LoaderFramingTest)
#include "tst_loaderframing.moc"
