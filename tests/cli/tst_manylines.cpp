#include "cli/ManyLines.h"
#include "cli/Options.h"

#include <QTest>

using namespace kx::cli;

// The indicators a download is given: each once, each with a backup name of its own.
class ManyLinesTest : public QObject
{
    Q_OBJECT

private slots:
    void lists_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("tags");  // the backup names, or "-" for the single download
        QTest::addColumn<QString>("usage"); // a part of the refusal, when refused

        QTest::newRow("one device is the single download") << "--device /dev/ttyS0"
                                                           << "-"
                                                           << "";
        QTest::newRow("ports") << "--port 1 --port 2 --port 12"
                               << "port1 port2 port12"
                               << "";
        QTest::newRow("devices by their own names") << "--device /dev/ttyUSB0 --device /dev/ttyUSB1"
                                                    << "ttyUSB0 ttyUSB1"
                                                    << "";
        QTest::newRow("one name in three folders") << "--device /a/x --device /b/x --device /c/x"
                                                 << "x x-2 x-3"
                                                 << "";
        QTest::newRow("a name like the one made up")
            << "--device /dev/x-3 --device /a/x --device /b/x"
            << "x-3 x x-2"
            << "";
        QTest::newRow("odd characters") << "--device /a/b.c:d --device /a/e"
                                        << "b-c-d e"
                                        << "";
        QTest::newRow("ports and devices") << "--port 1 --device /dev/ttyS1 --device /dev/ttyS2"
                                           << ""
                                           << "not both";
        QTest::newRow("one port twice") << "--port 3 --port 3"
                                        << ""
                                        << "the same indicator";
        QTest::newRow("a log with several") << "--port 1 --port 2 --log l.log"
                                            << ""
                                            << "with one indicator";
    }
    void lists()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, tags);
        QFETCH(QString, usage);
        QCommandLineParser options;
        addLineOptions(options);
        options.addOption({QStringLiteral("dry-run"), QStringLiteral("Send nothing.")});
        QVERIFY(options.parse(QStringList{QStringLiteral("kxlink-cli")} +
                              arguments.split(QLatin1Char(' '))));
        QString why;
        const auto lines = manyLines(options, QStringLiteral("/nonexistent"), LineChoice{}, why);
        if (!usage.isEmpty()) {
            QVERIFY(!lines);
            QVERIFY2(why.contains(usage), qPrintable(why));
            return;
        }
        QVERIFY2(why.isEmpty(), qPrintable(why));
        if (tags == QLatin1String("-")) {
            QVERIFY(!lines);
            return;
        }
        QVERIFY(lines);
        QStringList got;
        for (const NamedLine& n : *lines) {
            QVERIFY(n.line.device.isEmpty() != (n.line.port == 0));
            got << n.fileTag;
        }
        QCOMPARE(got.join(QLatin1Char(' ')), tags);
    }
};

QTEST_GUILESS_MAIN(ManyLinesTest)
#include "tst_manylines.moc"
