#include "FileSizeLimit.h"

#include "trend/CsvRecorder.h"
#include "trend/WeightRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace kx;

namespace {

WeightRecord record(const char* frame, qint64 ms = 0)
{
    const QDateTime at(QDate(2026, 12, 10), QTime(14, 5, 31, 250), QTimeZone(3600));
    return {at.addMSecs(ms), decodeReplyFrame(frame)};
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The recording's texts and its writer: what a spreadsheet or a script reads back.
class CsvRecorderTest : public QObject
{
    Q_OBJECT

private slots:
    void shownNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("number");
        QTest::newRow("plain") << "  12.50" << "12.50";
        QTest::newRow("negative") << " -12.50" << "-12.50";
        QTest::newRow("sign apart") << "-  1.50" << "-1.50";
        QTest::newRow("minus zero") << "  -0.00" << "0.00";
        QTest::newRow("grams") << "   1250" << "1250";
        QTest::newRow("point last") << "     0." << "0";
        QTest::newRow("point first") << "    .5" << "0.5";
        QTest::newRow("leading zeros") << "0012.50" << "12.50";
        QTest::newRow("overload") << " OVERLD" << "";
        QTest::newRow("blanked") << "------" << "";
        QTest::newRow("blank") << "       " << "";
        QTest::newRow("two points") << "  1.2.3" << "";
        QTest::newRow("exponent") << "    1e5" << "";
        QTest::newRow("sign only") << "      -" << "";
    }
    void shownNumber()
    {
        QFETCH(QString, text);
        QFETCH(QString, number);
        QCOMPARE(shownNumberText(text), number);
        QCOMPARE(kx::shownNumber(text).has_value(), !number.isEmpty());
    }

    void csvField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << "lb" << QByteArray("lb");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("leading blanks") << "  12.50" << QByteArray("\"  12.50\"");
        QTest::newRow("comma") << "1,5" << QByteArray("\"1,5\"");
        QTest::newRow("quote") << "a\"b" << QByteArray("\"a\"\"b\"");
        QTest::newRow("line break") << "a\r\nb" << QByteArray("\"a\r\nb\"");
    }
    void csvField()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        QCOMPARE(kx::csvField(text), field);
    }

    void isoTime_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("text");
        QTest::newRow("east") << 3600 << "2026-12-10T14:05:31.007+01:00";
        QTest::newRow("west, half hours") << -(5 * 3600 + 1800) << "2026-12-10T14:05:31.007-05:30";
        QTest::newRow("UTC") << 0 << "2026-12-10T14:05:31.007+00:00";
    }
    void isoTime()
    {
        QFETCH(int, offset);
        QFETCH(QString, text);
        const QDateTime at(QDate(2026, 12, 10), QTime(14, 5, 31, 7),
                           QTimeZone(offset));
        QCOMPARE(isoTimeWithOffset(at), text);
    }

    void rowsAndJson()
    {
        QCOMPARE(csvRow(record("  12.50_LB NT    ")),
                 QByteArray("2026-12-10T14:05:31.250+01:00,12.50,\"  12.50\",lb,true,true\r\n"));
        QCOMPARE(csvRow(record(" OVERLD KG GR    ")),
                 QByteArray("2026-12-10T14:05:31.250+01:00,,\" OVERLD\",kg,false,false\r\n"));
        QCOMPARE(jsonLine(record("   -3.5 OZ GR    ")),
                 QByteArray("{\"time\":\"2026-12-10T14:05:31.250+01:00\",\"weight\":-3.5,"
                            "\"text\":\"   -3.5\",\"units\":\"oz\",\"net\":false,\"settled\":false}"));
        // Bytes off the line stay text: a quote, a backslash and a control byte are escaped.
        QCOMPARE(jsonLine(record("a\"\\\x01 12_?? GR    ")),
                 QByteArray("{\"time\":\"2026-12-10T14:05:31.250+01:00\",\"weight\":null,"
                            "\"text\":\"a\\\"\\\\\\u0001 12\",\"units\":\"\",\"net\":false,"
                            "\"settled\":true}"));
    }

    // Rows reach the file at most once a second, whatever the frame rate.
    void writesOnceASecond()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("w.csv");
        CsvRecorder csv;
        QVERIFY(csv.open(path, 0));
        QCOMPARE(contents(path), csvHeader());
        for (int i = 1; i < 10; ++i)
            csv.record(record("  12.50_LB GR    ", i * 100), i * 100);
        QCOMPARE(contents(path), csvHeader());
        csv.record(record("  12.50_LB GR    ", 1000), 1000);
        QCOMPARE(contents(path).count('\n'), 11);
        csv.record(record("  12.51_LB GR    ", 1100), 1100);
        csv.close();
        QCOMPARE(contents(path).count('\n'), 12);
        QCOMPARE(csv.rows(), 11);
        QVERIFY(csv.failure().isEmpty());
    }

    // A full disk: the recording stops with why, and the file keeps whole rows only.
    void fullDiskKeepsTheWholeRows()
    {
        if (!test::FileSizeLimit::supported)
            QSKIP("no file size limit to fill the disk with");
        QTemporaryDir dir;
        const QString path = dir.filePath("w.csv");
        CsvRecorder csv;
        {
            test::FileSizeLimit limit(2000);
            QVERIFY(limit.active());
            QVERIFY(csv.open(path, 0));
            for (int i = 1; i <= 200 && csv.isOpen(); ++i)
                csv.record(record("  12.50_LB GR    ", i * 100), i * 100);
        }
        QVERIFY(!csv.isOpen());
        QVERIFY(csv.failure().contains(QDir::toNativeSeparators(path)));
        const QByteArray text = contents(path);
        QVERIFY(text.size() <= 2000);
        QVERIFY(text.startsWith(csvHeader()));
        QVERIFY(text.endsWith("\r\n"));
        const QList<QByteArray> lines = text.trimmed().split('\n');
        QCOMPARE(lines.size() - 1, csv.rows());
        QVERIFY(csv.rows() > 10);
        for (const QByteArray& line : lines.mid(1))
            QCOMPARE(line.trimmed().count(','), 5);
        // Nothing more is taken, and closing changes nothing.
        csv.record(record("  12.50_LB GR    ", 99'000), 99'000);
        csv.close();
        QCOMPARE(contents(path), text);
    }

    void unwritablePlaceSaysWhy()
    {
        CsvRecorder csv;
        QString why;
        QVERIFY(!csv.open(QStringLiteral("/proc/no/such/w.csv"), 0, &why));
        QVERIFY(why.contains(QStringLiteral("w.csv")));
        QVERIFY(!csv.isOpen());
    }
};

QTEST_GUILESS_MAIN(CsvRecorderTest)
#include "tst_csvrecorder.moc"
