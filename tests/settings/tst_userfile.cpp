#include "TestFiles.h"
#include "settings/IniDocument.h"
#include "settings/SafeSave.h"
#include "settings/SettingsCheck.h"
#include "settings/UserFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kx;

namespace {

// A read or save that blocks (a FIFO nobody writes to) ends the test run instead of hanging it.
class Watchdog
{
public:
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};

const QByteArray kSettings = "[Configuration]\r\nCustom Name=Kegs\r\n[Calibration]\r\n"
                             "Scale Capacity=250\r\n";

} // namespace

// Only regular files are read or written as files, and no read is without bound: what a user
// names may be a device, a FIFO, a folder or something far too large.
class UserFileTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // Makes an entry of the kind; false when this system or these rights cannot.
    bool make(const QString& kind, const QString& at)
    {
        const QByteArray p = QFile::encodeName(at);
        if (kind == "FIFO")
            return ::mkfifo(p.constData(), 0644) == 0;
        if (kind == "folder")
            return QDir().mkpath(at);
        if (kind == "device")
            return ::mknod(p.constData(), S_IFCHR | 0644, makedev(1, 5)) == 0; // as /dev/zero
        if (kind == "socket") {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            if (p.size() >= qsizetype(sizeof a.sun_path))
                return false;
            std::memcpy(a.sun_path, p.constData(), size_t(p.size()));
            const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            return ok;
        }
        return false;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void notAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO nobody writes to") << "FIFO" << "is a FIFO (named pipe), not a file";
        QTest::newRow("folder") << "folder" << "is a folder, not a file";
        QTest::newRow("device node") << "device" << "is a device, not a file";
        QTest::newRow("socket") << "socket" << "is a socket, not a file";
    }
    // Every read refuses it at once with the reason, the one save path refuses to replace it,
    // and it is still what it was afterwards.
    void notAFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString target = path(QString("x-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        if (!make(kind, target))
            QSKIP("this kind of entry cannot be made here (mknod wants root)");
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);
        const QString named = QDir::toNativeSeparators(target) + ": " + reason;

        const Watchdog watchdog(10);
        QString why;
        QVERIFY(!readUserFile(target, SettingsFileLimit, &why));
        QCOMPARE(why, named);
        QVERIFY(!loadSettingsFile(target, &why));
        QCOMPARE(why, named);
        IniDocument ini;
        QVERIFY(!ini.load(target, &why));
        QCOMPARE(why, reason);
        QVERIFY(!keepBackup(target, path("backup.dat"), &why));
        QVERIFY(!QFileInfo::exists(path("backup.dat")));
        QVERIFY(!saveFile(target, kSettings, &why));
        QCOMPARE(why, named);

        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &after), 0);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        QCOMPARE(after.st_rdev, before.st_rdev);
        QCOMPARE(QDir(dir.path()).entryList({"*.new", "*.tmp"}, QDir::Files), QStringList{});
    }

    // A link to a regular file is the file, for reading and for saving (which keeps the link).
    void linkToAFileIsFollowed()
    {
        const QString real = path("real.dat");
        const QString link = path("link.dat");
        QVERIFY(test::writeAll(real, kSettings));
        QVERIFY(QFile::link(real, link));
        QCOMPARE(readUserFile(link, SettingsFileLimit).value_or("<refused>"), kSettings);
        QString why;
        QVERIFY2(saveFile(link, "[Configuration]\r\n", &why), qPrintable(why));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(test::readAll(real), QByteArray("[Configuration]\r\n"));
    }

    // Beyond the bound a file is refused whole, never read in part; the sparse file costs no
    // disk.
    void largerThanItsBoundIsRefused()
    {
        const QString big = path("big.hex");
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(HexFileLimit + 1));
        f.close();
        QString why;
        QVERIFY(!readUserFile(big, HexFileLimit, &why));
        QCOMPARE(why, QDir::toNativeSeparators(big)
                          + ": is larger than 64 MiB, more than such a file holds; not read");
        QVERIFY(!readUserFile(big, SettingsFileLimit, &why));
        QVERIFY(why.contains("16 MiB"));
        QVERIFY(QFile(big).resize(16));
        QCOMPARE(readUserFile(big, 16).value_or("<refused>"), QByteArray(16, '\0'));
    }

    void notASettingsFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QString binary = "the file holds NUL bytes: binary data, not a settings file";
        const QString none = "the file holds no setting of a settings file (no [Configuration], "
                             "[Calibration], ... section with its keys)";
        QTest::newRow("empty") << QByteArray() << "the file is empty, not a settings file";
        QTest::newRow("UTF-16 with its mark")
            << QByteArray("\xFF\xFE[\0C\0", 6)
            << "the file is UTF-16 text; a settings file is 8-bit text";
        QTest::newRow("UTF-16 without a mark") << QByteArray("[\0C\0o\0n\0", 8) << binary;
        QTest::newRow("NUL bytes in text") << kSettings + QByteArray(1, '\0') << binary;
        QTest::newRow("control bytes")
            << kSettings + "\x1b]0;title\x07"
            << "the file holds control bytes: binary data, not a settings file";
        QTest::newRow("only a section header") << QByteArray("[Configuration]\r\n") << none;
        QTest::newRow("a text without sections") << QByteArray("hello\nworld\n") << none;
        QTest::newRow("another program's INI") << QByteArray("[Scale Port]\r\nPort=1\r\n") << none;
        QTest::newRow("unknown keys in a known section")
            << QByteArray("[Configuration]\r\nColour=red\r\n") << none;
    }
    void notASettingsFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QCOMPARE(settingsTextProblem(bytes), reason);
        const QString file = path("bad.dat");
        QVERIFY(test::writeAll(file, bytes));
        QString why;
        QVERIFY(!readSettingsText(file, &why));
        QCOMPARE(why, QDir::toNativeSeparators(file) + ": " + reason);
    }

    void aSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << kSettings;
        QTest::newRow("LF") << QByteArray(kSettings).replace("\r\n", "\n");
        QTest::newRow("CR") << QByteArray(kSettings).replace("\r\n", "\r");
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + kSettings;
        QTest::newRow("8-bit text, no line end at the end")
            << QByteArray("[Configuration]\r\nCustom Name=F\xFCsser");
        QTest::newRow("only the ticket") << QByteArray("[Ticket Format]\nTime Row=3\n");
    }
    void aSettingsFile()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(settingsTextProblem(bytes), QString());
        const QString file = path("good.dat");
        QVERIFY(test::writeAll(file, bytes));
        const auto doc = loadSettingsFile(file);
        QVERIFY(doc);
        QVERIFY(doc->hasSection("Configuration") || doc->hasSection("Ticket Format"));
        if (doc->hasKey("Calibration", "Scale Capacity"))
            QCOMPARE(doc->readString("Calibration", "Scale Capacity"), QByteArray("250"));
    }
};

QTEST_GUILESS_MAIN(UserFileTest)
#include "tst_userfile.moc"
