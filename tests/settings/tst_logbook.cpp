// The logbook of writes: appended through the save path, each line chained to the one before
// it, and a check that names the first line that no longer fits.
#include "settings/Logbook.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace kx;
using kx::test::FileSizeLimit;

namespace {

LogbookEntry entry(int n)
{
    LogbookEntry e;
    e.time = QDateTime(QDate(2026, 12, 10), QTime(14, 2, n), Qt::OffsetFromUTC, 3600);
    e.user = "tech";
    e.host = "bench";
    e.version = "3.0.0.1";
    e.port = 1;
    e.device = "/dev/ttyUSB0";
    e.action = "download";
    e.file = QStringLiteral("site-%1.dat").arg(n);
    e.fileSha256 = QString(64, 'a');
    e.changes = {{"Calibration/Scale Capacity", "5000", QString::number(5000 + n)}};
    e.outcome = "completed";
    e.verify = "verified";
    return e;
}

QByteArray threeLines(const QString& path)
{
    for (int n = 1; n <= 3; ++n)
        if (!logbook::append(path, entry(n)))
            return {};
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class LogbookTest : public QObject
{
    Q_OBJECT

private slots:
    void appendedLinesFormAChain()
    {
        QTemporaryDir dir;
        const QString path = logbook::pathIn(dir.path());
        const QByteArray bytes = threeLines(path);
        QCOMPARE(bytes.count('\n'), 3);
        QCOMPARE(logbook::firstBadLine(bytes), 0);
        const QList<logbook::Line> lines = logbook::parse(bytes);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].prev, QByteArray(64, '0'));
        QCOMPARE(lines[2].prev, logbook::sha256Hex(lines[1].text));
        const LogbookEntry& e = *lines[1].entry;
        QCOMPARE(e.file, QString("site-2.dat"));
        QCOMPARE(e.time, entry(2).time);
        QCOMPARE(e.changes.size(), 1);
        QCOMPARE(e.changes[0].after, QString("5002"));
        QVERIFY(lines[0].text.contains("\"time\":\"2026-12-10T14:02:01.000+01:00\""));
    }

    // What the chain shows, and which line it names.
    void tamperingIsNamed_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("bad");
        QTest::newRow("a byte of the middle line") << "edit" << 3;
        QTest::newRow("the middle line removed") << "remove" << 2;
        QTest::newRow("two lines swapped") << "swap" << 2;
        QTest::newRow("the first line removed") << "remove first" << 1;
        QTest::newRow("the last line cut") << "cut" << 3;
        QTest::newRow("not JSON") << "garbage" << 2;
    }
    void tamperingIsNamed()
    {
        QFETCH(QString, change);
        QFETCH(int, bad);
        QTemporaryDir dir;
        QByteArray bytes = threeLines(logbook::pathIn(dir.path()));
        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast();
        if (change == "edit")
            lines[1].replace("5002", "5003");
        else if (change == "remove")
            lines.removeAt(1);
        else if (change == "swap")
            lines.swapItemsAt(1, 2);
        else if (change == "remove first")
            lines.removeFirst();
        else if (change == "garbage")
            lines[1] = "{not json";
        bytes = lines.join('\n') + '\n';
        if (change == "cut")
            bytes.chop(5);
        QString why;
        QCOMPARE(logbook::firstBadLine(bytes, &why), bad);
        QVERIFY(why.contains(QStringLiteral("line %1").arg(bad)));
    }

    // A cut last line would hide every later line: the file is kept aside as it is, and the
    // new chain's first line names it and the hash of its last whole line.
    void aCutLogbookIsSetAsideAndTheNewChainJoinsIt()
    {
        QTemporaryDir dir;
        const QString path = logbook::pathIn(dir.path());
        QByteArray bytes = threeLines(path);
        const QList<QByteArray> whole = bytes.split('\n');
        bytes.chop(3);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QString why;
        QString note;
        QVERIFY2(logbook::append(path, entry(4), &why, &note), qPrintable(why));
        QVERIFY2(logbook::append(path, entry(5), &why, &note), qPrintable(why));
        const QStringList aside =
            QDir(dir.filePath("LOGS")).entryList({"logbook_*.jsonl"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QVERIFY2(note.contains(aside[0]), qPrintable(note));
        QFile old(QDir(dir.filePath("LOGS")).filePath(aside[0]));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), bytes);
        QFile g(path);
        QVERIFY(g.open(QIODevice::ReadOnly));
        const QByteArray fresh = g.readAll();
        QCOMPARE(logbook::firstBadLine(fresh), 0);
        const QList<logbook::Line> lines = logbook::parse(fresh);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].entry->continues, aside[0]);
        QCOMPARE(lines[0].entry->continuesSha256.toLatin1(), logbook::sha256Hex(whole[1]));
        QCOMPARE(lines[1].entry->file, QString("site-5.dat"));
        QVERIFY(lines[1].entry->continues.isEmpty());
    }

    // What cannot hold a line is refused before a write and left as it was.
    void aLogbookThatIsNoFileIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("a link to /dev/null") << "null";
    }
    void aLogbookThatIsNoFileIsRefused()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = logbook::pathIn(dir.path());
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QFile::link("/dev/null", path));
        const QString no = logbook::refusal(path);
        QVERIFY2(no.startsWith(path + ": is a "), qPrintable(no));
        QString why;
        QVERIFY(!logbook::append(path, entry(1), &why));
        QCOMPARE(why, no);
        QCOMPARE(QDir(QFileInfo(path).absolutePath())
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{"logbook.jsonl"});
    }

    // A full disk: the write is said not logged, and the logbook keeps no part of its line.
    void aFullDiskLeavesTheLogbookWhole()
    {
        QTemporaryDir dir;
        const QString path = logbook::pathIn(dir.path());
        const QByteArray bytes = threeLines(path);
        QString why;
        {
            FileSizeLimit limit(bytes.size() + 100);
            QVERIFY(limit.active());
            QVERIFY(!logbook::append(path, entry(4), &why));
        }
        QVERIFY2(why.contains("too large", Qt::CaseInsensitive), qPrintable(why));
        QFile g(path);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QCOMPARE(g.readAll(), bytes);
    }
};

QTEST_GUILESS_MAIN(LogbookTest)
#include "tst_logbook.moc"
