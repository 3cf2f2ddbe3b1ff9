#include "firmware/HexCheck.h"

#include <QFile>
#include <QTest>

using namespace kx;

// The check an update file passes before any byte of it is sent.
class HexCheckTest : public QObject
{
    Q_OBJECT

    static QByteArray fileText(const char* name)
    {
        QFile f(QStringLiteral(KX_HEX_DATA "/") + QLatin1String(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void check_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("lines");   // lines to send; -1: refused
        QTest::addColumn<int>("badLine"); // 0: the file as a whole
        QTest::addColumn<QString>("problem");

        const QByteArray eof = ":00000001FF";
        // srec_cat's files: data, extended linear address and start linear address records.
        QTest::newRow("srec_cat small") << fileText("small.hex") << 6 << 0 << QString();
        QTest::newRow("srec_cat linear") << fileText("linear.hex") << 6 << 0 << QString();
        QTest::newRow("srec_cat image") << fileText("image.hex") << 194 << 0 << QString();
        QTest::newRow("segment records")
            << QByteArray(":020000021200EA\n:0400000312000100E6\n:01000000AB54\n" + eof) << 4 << 0
            << QString();
        QTest::newRow("lower case digits")
            << QByteArray(":01000000ab54\n" + eof) << 2 << 0 << QString();
        QTest::newRow("CR LF, CR and blank lines")
            << QByteArray("\r\n:01000000AB54\r\n\r\n:01000000AB54\r:01000000AB54\n\n" + eof +
                          "\r\n")
            << 4 << 0 << QString();

        QTest::newRow("bad checksum")
            << QByteArray(":01000000AB55\n" + eof) << -1 << 1 << "the checksum is wrong";
        QTest::newRow("odd digit count") << QByteArray(":01000000AB5\n" + eof) << -1 << 1
                                         << "the line has an odd number of hex digits";
        QTest::newRow("wrong byte count") << QByteArray(":02000000AB53\n" + eof) << -1 << 1
                                          << "the byte count says 2 data bytes but the line has 1";
        QTest::newRow("missing colon") << QByteArray("\n01000000AB54\n" + eof) << -1 << 2
                                       << "the line does not start with \":\"";
        QTest::newRow("not a hex digit")
            << QByteArray(":01000000AG54\n" + eof) << -1 << 1 << "character 11 is not a hex digit";
        QTest::newRow("trailing space")
            << QByteArray(":01000000AB54 \n" + eof) << -1 << 1 << "character 14 is not a hex digit";
        QTest::newRow("too short") << QByteArray(":0000000\n" + eof) << -1 << 1
                                   << "the line has an odd number of hex digits";
        QTest::newRow("short record")
            << QByteArray(":00000000\n" + eof) << -1 << 1 << "the line is too short for a record";
        QTest::newRow("unknown type")
            << QByteArray(":0000000AF6\n" + eof) << -1 << 1 << "record type 0a is unknown";
        QTest::newRow("end record with data") << QByteArray(":0100000100FE") << -1 << 1
                                              << "a record of type 01 must carry 0 data bytes";
        QTest::newRow("missing end record")
            << QByteArray(":01000000AB54\n\n") << -1 << 1 << "the file has no end-of-file record";
        // Older tools: a closing Ctrl-Z and padding after the end record are not records.
        QTest::newRow("Ctrl-Z after the end")
            << QByteArray(":01000000AB54\r\n" + eof + "\r\n\x1A") << 2 << 0 << QString();
        QTest::newRow("Ctrl-Z on the end record's line")
            << QByteArray(":01000000AB54\r\n" + eof + "\x1A") << 2 << 0 << QString();
        QTest::newRow("blank and whitespace lines, then Ctrl-Z, after the end")
            << QByteArray(":01000000AB54\r\n" + eof + "\r\n\r\n  \t\r\n \r\n\x1A\r\n") << 2 << 0
            << QString();
        QTest::newRow("data record after the end")
            << QByteArray(eof + "\n\n:01000000AB54\n") << -1 << 3
            << "a data record after the end-of-file record";
        QTest::newRow("data record after the end, then Ctrl-Z")
            << QByteArray(eof + "\r\n:01000000AB54\r\n\x1A") << -1 << 2
            << "a data record after the end-of-file record";
        QTest::newRow("second end record")
            << QByteArray(eof + "\n" + eof + "\n") << -1 << 2
            << "a second end-of-file record after the end-of-file record";
        QTest::newRow("address record after the end")
            << QByteArray(eof + "\n:020000040000FA\n") << -1 << 2
            << "an extended linear address record after the end-of-file record";
        QTest::newRow("text after the end")
            << QByteArray(eof + "\n; built 2026-12-10\n") << -1 << 2
            << "text that is not a record after the end-of-file record";
        QTest::newRow("Ctrl-Z before the end is not padding")
            << QByteArray(":01000000AB54\n\x1A\n" + eof) << -1 << 2
            << "the line does not start with \":\"";
        QTest::newRow("two Ctrl-Z") << QByteArray(eof + "\n\x1A\x1A") << -1 << 2
                                    << "text that is not a record after the end-of-file record";
        QTest::newRow("whitespace before the end is still refused")
            << QByteArray(":01000000AB54\n  \n" + eof) << -1 << 2
            << "the line does not start with \":\"";
        QTest::newRow("empty file") << QByteArray() << -1 << 0 << "the file has no lines";
        QTest::newRow("blank lines only")
            << QByteArray("\r\n\n\r") << -1 << 0 << "the file has no lines";

        // 255 data bytes make a valid record of 521 characters: far past the loader's buffer.
        QByteArray longRecord = ":FF000000";
        unsigned sum = 0xFF;
        for (int i = 0; i < 255; ++i) {
            longRecord += "01";
            sum += 1;
        }
        longRecord +=
            QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).toUpper().rightJustified(2, '0');
        QTest::newRow("too long for the buffer")
            << QByteArray(longRecord + "\n" + eof) << -1 << 1
            << "the line is too long for the loader (521 characters, at most 253)";
        // 253 characters plus CR LF and the check byte fill the buffer exactly: 121 data bytes.
        QByteArray fits = ":79000000";
        sum = 0x79;
        for (int i = 0; i < 121; ++i) {
            fits += "02";
            sum += 2;
        }
        fits +=
            QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).toUpper().rightJustified(2, '0');
        QTest::newRow("exactly fills the buffer")
            << QByteArray(fits + "\n" + eof) << 2 << 0 << QString();
    }
    void check()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, lines);
        QFETCH(int, badLine);
        QFETCH(QString, problem);
        const HexCheckResult r = checkIntelHex(content);
        QCOMPARE(r.problem, problem);
        QCOMPARE(r.ok, lines >= 0);
        QCOMPARE(r.lines.size(), std::max(lines, 0));
        QCOMPARE(r.badLine, badLine);
    }

    void linesAreSentAsTheExactTextWithoutLineEnds()
    {
        const HexCheckResult r = checkIntelHex(":01000000ab54\r\n:00000001FF");
        QVERIFY(r.ok);
        QCOMPARE(r.lines, (QList<QByteArray>{":01000000ab54", ":00000001FF"}));
    }
};

QTEST_GUILESS_MAIN(HexCheckTest)
#include "tst_hexcheck.moc"
