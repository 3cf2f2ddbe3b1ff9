// The logbook of writes: appended through the save path, each line chained to the one before
// it, and a check that names the first line that no longer fits.
#include "settings/Logbook.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

    // A head written down after three writes, then the logbook as it stands later: what the
    // chain alone lets pass and the head catches.
    void aHeadWrittenDownCatchesWhatTheChainCannot_data()
    {
        QTest::addColumn<QString>("later");
        QTest::addColumn<bool>("chainWhole");
        QTest::addColumn<int>("headAt");
        QTest::newRow("a later write") << "append" << true << 3;
        QTest::newRow("the newest line edited") << "edit last" << true << 0;
        QTest::newRow("the newest line removed") << "remove last" << true << 0;
        QTest::newRow("emptied") << "empty" << true << 0;
        QTest::newRow("the tail rewritten with its chain") << "rewrite" << true << 0;
        QTest::newRow("an older line edited") << "edit first" << false << 3;
    }
    void aHeadWrittenDownCatchesWhatTheChainCannot()
    {
        QFETCH(QString, later);
        QFETCH(bool, chainWhole);
        QFETCH(int, headAt);
        QTemporaryDir dir;
        const QString path = logbook::pathIn(dir.path());
        QByteArray bytes = threeLines(path);
        const logbook::Head head = logbook::headOf(bytes);
        QCOMPARE(head.lines, 3);
        QCOMPARE(logbook::lineWithHead(bytes, head.sha256.toUpper()), 3);
        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast();
        if (later == "append") {
            QVERIFY(logbook::append(path, entry(4)));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            bytes = f.readAll();
        } else if (later == "edit last" || later == "edit first") {
            // The newest line has no line after it whose "prev" would show the edit.
            lines[later == "edit last" ? 2 : 0].replace("completed", "cancelled");
            bytes = lines.join('\n') + '\n';
        } else if (later == "remove last") {
            lines.removeLast();
            bytes = lines.join('\n') + '\n';
        } else if (later == "empty") {
            bytes.clear();
        } else if (later == "rewrite") {
            // Every line from the second on written anew, each with the hash of the one before.
            QByteArray rewritten = lines[0] + '\n';
            QByteArray prev = logbook::sha256Hex(lines[0]);
            for (int n = 2; n <= 3; ++n) {
                LogbookEntry e = entry(n);
                e.outcome = "refused";
                const QByteArray line = logbook::lineFor(e, prev);
                rewritten += line + '\n';
                prev = logbook::sha256Hex(line);
            }
            bytes = rewritten;
        }
        QCOMPARE(logbook::firstBadLine(bytes) == 0, chainWhole);
        QCOMPARE(logbook::lineWithHead(bytes, head.sha256), headAt);
        QCOMPARE(logbook::lineWithHead(bytes, "not a head"), 0);
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
#ifdef Q_OS_UNIX
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("a link to /dev/null") << "null";
#endif
    }
    void aLogbookThatIsNoFileIsRefused()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = logbook::pathIn(dir.path());
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
#ifdef Q_OS_UNIX
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QFile::link("/dev/null", path));
#endif
        const QString no = logbook::refusal(path);
        QVERIFY2(no.startsWith(QDir::toNativeSeparators(path) + ": is a "), qPrintable(no));
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
        if (!FileSizeLimit::supported)
            QSKIP("no file size limit to fill the disk with");
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
