#include "settings/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace kx;

// Where the program keeps the files it writes: beside a portable copy, or in the user's data
// folder for an installed one.
class ProgramFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("portable copy") << true << QStringLiteral("/home/op/kxlink");
        QTest::newRow("installed") << false << QStringLiteral("/home/op/.local/share/KXLINK");
    }
    void rule()
    {
        QFETCH(bool, writable);
        QFETCH(QString, expected);
        QCOMPARE(programFolderFor(QStringLiteral("/home/op/kxlink"), writable,
                                  QStringLiteral("/home/op/.local/share/KXLINK")),
                 expected);
    }

    void writableFolderIsFoundByTrying()
    {
        QTemporaryDir dir;
        QVERIFY(folderIsWritable(dir.path()));
        // The probe leaves nothing behind.
        QVERIFY(QDir(dir.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
        QVERIFY(!folderIsWritable(dir.filePath("missing")));
        // No one creates files in /proc, an administrator included.
        QVERIFY(!folderIsWritable(QStringLiteral("/proc")));
    }

    void folderWithoutWriteRightsIsNotWritable()
    {
        if (::geteuid() == 0)
            QSKIP("an administrator may write any folder");
        QTemporaryDir dir;
        const QString locked = dir.filePath("installed");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!folderIsWritable(locked));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_MAIN(ProgramFolderTest)
#include "tst_programfolder.moc"
