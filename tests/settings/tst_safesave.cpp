#include "FileSizeLimit.h"
#include "TestFiles.h"
#include "link/PortSettings.h"
#include "settings/IniDocument.h"
#include "settings/SafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;
using kx::test::FileSizeLimit;

namespace {
using kx::test::readAll;
void writeFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(kx::test::writeAll(path, bytes));
}
// An INI text of about size bytes, so a save of it is held in a write buffer (small) or not.
QByteArray iniOfSize(int size)
{
    QByteArray out = "[Scale Port]\r\nPort=1\r\n[Padding]\r\n";
    for (int i = 0; out.size() < size; ++i)
        out += "Key" + QByteArray::number(i) + "=" + QByteArray(40, 'x') + "\r\n";
    return out;
}
} // namespace

// The one save path: whatever fails, the old file stays byte for byte as it was and the
// caller learns which file and why.
class SafeSaveTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    // A full disk is played by a file-size limit below the new content: the old content is
    // smaller than the limit, the new one is not. Small contents would be held in a write
    // buffer until the commit; large ones are written as they come.
    void failedWriteLeavesOldFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        for (const char* kind : {"file", "ini", "Port.Ini", "device map", "backup"}) {
            QTest::addRow("%s, 2 KB", kind) << QString(kind) << 2048;
            QTest::addRow("%s, 40 KB", kind) << QString(kind) << 40 * 1024;
        }
    }
    void failedWriteLeavesOldFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, size);
        const QByteArray old = "[Scale Port]\r\nPort=3\r\n[Devices]\r\n3=/dev/ttyUSB0\r\n";
        const QByteArray big = iniOfSize(size);
        const QString target = path(kind == "Port.Ini" || kind == "device map" ? "Port.Ini"
                                                                               : "x.dat");
        // The new content is the old file plus what makes it too big for the limit.
        writeFile(target, kind == "backup" ? big : old + big);
        const QByteArray before = readAll(target);
        QDir(dir.path()).remove("x.dat.bak");

        if (!FileSizeLimit::supported)
            QSKIP("no file size limit to fill the disk with");
        QString error;
        bool saved = true;
        {
            FileSizeLimit limit(size / 2);
            QVERIFY(limit.active());
            if (kind == "file") {
                saved = saveFile(target, before + "more\r\n", &error);
            } else if (kind == "ini") {
                IniDocument doc = IniDocument::fromBytes(before);
                doc.writeString("Scale Port", "Port", "4");
                saved = doc.save(target, &error);
            } else if (kind == "Port.Ini") {
                PortSettings port(dir.path());
                port.ComNo = "4";
                saved = port.SavePortSettings(&error);
            } else if (kind == "device map") {
                saved = PortSettings(dir.path()).setMappedDevice(4, "/dev/ttyACM0", &error);
            } else {
                saved = keepBackup(target, path("x.dat.bak"), &error);
            }
        }
        QVERIFY(!saved);
        QCOMPARE(readAll(target), before);
        QVERIFY2(error.startsWith(QDir::toNativeSeparators(kind == "backup" ? path("x.dat.bak")
                                                                           : target)
                                  + ": "),
                 qPrintable(error));
        QVERIFY2(error.contains("too large", Qt::CaseInsensitive), qPrintable(error));
        // Nothing half-written is left beside it.
        QStringList left = QDir(dir.path()).entryList(QDir::Files);
        left.removeAll("x.dat");
        left.removeAll("Port.Ini");
        QCOMPARE(left, QStringList{});
    }

    void refusalsSayWhy_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only file") << "read-only file" << "the file is read-only";
        QTest::newRow("missing folder") << "missing folder" << "the folder does not exist";
        QTest::newRow("read-only folder") << "read-only folder" << "";
    }
    void refusalsSayWhy()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        QString target = path("y.dat");
        writeFile(target, "old\r\n");
        QDir sub(path("sub"));
        if (setup == "read-only file") {
            QFile(target).setPermissions(QFileDevice::ReadOwner);
        } else if (setup == "missing folder") {
            target = path("nowhere/y.dat");
        } else {
            QDir().mkpath(sub.path());
            target = sub.filePath("y.dat");
            writeFile(target, "old\r\n");
            QFile(sub.path()).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            if (QFileInfo(sub.path()).isWritable()) // an administrator writes anyway
                QSKIP("running with rights that ignore folder permissions");
        }
        QString error;
        QVERIFY(!saveFile(target, "new\r\n", &error));
        QVERIFY2(error.startsWith(QDir::toNativeSeparators(target) + ": "), qPrintable(error));
        QVERIFY2(error.size() > target.size() + 2, qPrintable(error));
        if (!reason.isEmpty())
            QCOMPARE(error.mid(QDir::toNativeSeparators(target).size() + 2), reason);
        if (setup != "missing folder")
            QCOMPARE(readAll(target), QByteArray("old\r\n"));
        QFile(sub.path()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                         | QFileDevice::ExeOwner);
        QFile(path("y.dat")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void completeSaveReplacesTheFile()
    {
        const QString target = path("z.dat");
        writeFile(target, "old\r\n");
        const QByteArray big = iniOfSize(100 * 1024);
        QString error;
        QVERIFY(saveFile(target, big, &error));
        QCOMPARE(readAll(target), big);
        QVERIFY(error.isEmpty());
    }

    // A new file never takes the place of one that stands, a link included; a write that
    // fails leaves no file and no scratch file behind.
    void newFileIsNeverPutOverAnother()
    {
        QVERIFY(QDir(dir.path()).mkpath("new"));
        const QDir folder(path("new"));
        const auto in = [&](const char* name) { return folder.filePath(name); };
        const QString taken = in("taken.pdf");
        writeFile(taken, "someone else's");
        const QString link = in("link.pdf");
        QVERIFY(QFile::link(in("nowhere.pdf"), link));
        for (const QString& p : {taken, link}) {
            QString error;
            QVERIFY(!saveNewFile(p, "report", &error));
            QVERIFY2(error.contains("already exists"), qPrintable(error));
        }
        QCOMPARE(readAll(taken), QByteArray("someone else's"));
        QVERIFY(!QFileInfo::exists(in("nowhere.pdf")));

        const QString fresh = in("fresh.pdf");
        if (!FileSizeLimit::supported)
            QSKIP("no file size limit to fill the disk with");
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.active());
            QString error;
            QVERIFY(!saveNewFile(fresh, iniOfSize(4096), &error));
            QVERIFY(!error.isEmpty());
        }
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({"link.pdf", "taken.pdf"}));
        QVERIFY(saveNewFile(fresh, "whole"));
        QCOMPARE(readAll(fresh), QByteArray("whole"));
    }

    // Two writers of one name in one second: each gets a file of its own, and whatever held
    // the name first (a file, a link to elsewhere) is left as it was.
    void newFilesNeverReplaceOne()
    {
        QTemporaryDir folder;
        const QString sub = folder.filePath("SAVED/BACKUP");
        QString error;
        const auto first = saveNewFile(sub, "2026-01-01_10-00-00_tty1", ".dat", "first", &error);
        QVERIFY2(first, qPrintable(error));
        QCOMPARE(*first, sub + "/2026-01-01_10-00-00_tty1.dat");
        const QString elsewhere = folder.filePath("elsewhere.dat");
        QVERIFY(QFile::link(elsewhere, sub + "/2026-01-01_10-00-00_tty1-2.dat"));
        const auto second = saveNewFile(sub, "2026-01-01_10-00-00_tty1", ".dat", "second", &error);
        QVERIFY2(second, qPrintable(error));
        QCOMPARE(*second, sub + "/2026-01-01_10-00-00_tty1-3.dat");
        QCOMPARE(readAll(*first), QByteArray("first"));
        QCOMPARE(readAll(*second), QByteArray("second"));
        QVERIFY(!QFile::exists(elsewhere));
    }

    // A full disk: a new file is not left half-written, an append leaves the file as it was.
    void fullDiskLeavesNothingHalfWritten()
    {
        if (!FileSizeLimit::supported)
            QSKIP("no file size limit to fill the disk with");
        QTemporaryDir folder;
        const QString log = folder.filePath("log.jsonl");
        writeFile(log, "line 1\n");
        QString error;
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.active());
            QVERIFY(!saveNewFile(folder.path(), "new", ".dat", iniOfSize(4096), &error));
            QVERIFY(!appendWhole(log, QByteArray(4096, 'x') + "\n", &error));
        }
        QVERIFY2(error.startsWith(QDir::toNativeSeparators(log) + ": "), qPrintable(error));
        QCOMPARE(readAll(log), QByteArray("line 1\n"));
        QVERIFY(!QFile::exists(folder.filePath("new.dat")));
        QVERIFY(appendWhole(log, "line 2\n", &error));
        QCOMPARE(readAll(log), QByteArray("line 1\nline 2\n"));
    }
};

QTEST_GUILESS_MAIN(SafeSaveTest)
#include "tst_safesave.moc"
