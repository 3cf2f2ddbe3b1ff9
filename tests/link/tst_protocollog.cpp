#include "FrontPanelFixture.h"
#include "link/ProtocolLog.h"

#include <QTemporaryDir>
#include <QTest>

#include "FileSizeLimit.h"
#include "TestFiles.h"

#include <QDir>
#include <sys/stat.h>

using namespace kx;

// The protocol log as a technician reads it.
class ProtocolLogTest : public QObject
{
    Q_OBJECT

private slots:
    void rendering_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("control bytes by name")
            << QByteArray("\x02\x03\x04\x05\x06\x07\x0a\x0d\x15", 9)
            << QByteArray("<STX><ETX><EOT><ENQ><ACK><BEL><LF><CR><NAK>");
        QTest::newRow("text as it is") << QByteArray("pcmode") << QByteArray("pcmode");
        QTest::newRow("a frame") << QByteArray("  12.50_LB GR    \x04")
                                 << QByteArray("  12.50_LB GR    <EOT>");
        QTest::newRow("other bytes in hex") << QByteArray("\x00\x1b\x7f\xff", 4)
                                            << QByteArray("<00><1B><7F><FF>");
        QTest::newRow("a stream format keeps its brackets")
            << QByteArray("[CST],<W><S>,\r\n") << QByteArray("[CST],<W><S>,<CR><LF>");
    }
    void rendering()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, shown);
        const QDateTime at(QDate(2026, 12, 10), QTime(8, 30, 5, 42));
        QCOMPARE(renderLogLine(at, LineDirection::Received, bytes),
                 "2026-12-10 08:30:05.042 RX " + shown + "\r\n");
        QVERIFY(renderLogLine(at, LineDirection::Sent, bytes).contains(" TX "));
    }

    void logAppendsABurstALine()
    {
        QTemporaryDir dir;
        ProtocolLog log;
        QVERIFY(log.open(dir.filePath("LOGS/line.log")));
        log.record(LineDirection::Sent, "pcmode");
        log.record(LineDirection::Received, QByteArray(1, 0x06));
        log.close();
        const QList<QByteArray> lines = test::readAll(dir.filePath("LOGS/line.log")).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith(" TX pcmode\r"));
        QVERIFY(lines[1].endsWith(" RX <ACK>\r"));
    }

    // A full disk (played by a file-size limit) stops the log at once: it is told once, with
    // a reason a user can act on, and the file ends at the last whole line.
    void aFullDiskEndsTheLogAtAWholeLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("line.log");
        ProtocolLog log;
        QStringList told;
        log.onFailure = [&](const QString& why) { told << why; };
        QVERIFY(log.open(path));
        const QByteArray burst(50, 'w');
        {
            const test::FileSizeLimit limit(1000);
            QVERIFY(limit.active());
            for (int i = 0; i < 40; ++i)
                log.record(LineDirection::Received, burst);
        }
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0], log.failure());
        QVERIFY2(told[0].startsWith(QDir::toNativeSeparators(path) + ": "), qPrintable(told[0]));
        QVERIFY2(!told[0].contains("Unknown error"), qPrintable(told[0]));
        QVERIFY(!log.isOpen());
        const QByteArray kept = test::readAll(path);
        QVERIFY(!kept.isEmpty());
        QVERIFY(kept.endsWith("\r\n"));
        const QList<QByteArray> lines = kept.chopped(1).split('\n');
        for (const QByteArray& line : lines)
            QVERIFY2(line.endsWith(" RX " + burst + "\r"), line.constData());
    }

    // A log is a file: a FIFO nobody reads would block the line, a device keeps nothing.
    void aLogThatIsNotAFileIsRefused()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("pipe.log");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
        ProtocolLog log;
        QString why;
        QVERIFY(!log.open(fifo, &why));
        QCOMPARE(why, QDir::toNativeSeparators(fifo) + ": is a FIFO (named pipe), not a file");
        QVERIFY(!log.open(dir.path(), &why));
        QVERIFY(why.endsWith(": is a folder, not a file"));
    }

    // Ctrl+L on the face: every byte on the main port goes to a dated file in LOGS, and the
    // face says so until it is turned off.
    void theFaceLogsTheLineOnRequest()
    {
        test::FrontPanelFixture f;
        f.connect();
        f.panel->toggleProtocolLog();
        QVERIFY(f.face().LogStatus.startsWith("Protocol log on: LOGS/kxlink_"));
        const QString path = f.panel->protocolLog().path();
        f.device->feed(test::FrontPanelFixture::frame("12.50"));
        f.clock.advance(300);
        f.panel->toggleProtocolLog();
        QVERIFY(f.face().LogStatus.isEmpty());
        f.device->feed(test::FrontPanelFixture::frame("99.00"));
        f.clock.advance(300);
        const QByteArray log = test::readAll(path);
        QVERIFY2(log.contains(" RX   12.50_LB GR    <EOT>\r\n"), log.constData());
        QVERIFY(!log.contains("99.00"));
    }
};

QTEST_GUILESS_MAIN(ProtocolLogTest)
#include "tst_protocollog.moc"
