#include "settings/InstanceGuard.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

class InstanceGuardTest : public QObject
{
    Q_OBJECT

private slots:
    void aSecondCopyIsRefusedWhileTheFirstRuns()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("kxlink.lock");
        InstanceGuard first(path);
        QCOMPARE(first.acquire(), InstanceGuard::Result::Acquired);
        InstanceGuard second(path);
        QCOMPARE(second.acquire(), InstanceGuard::Result::AlreadyRunning);
    }

    // A second start asks the running copy for its window, each time it is made.
    void aSecondStartRaisesTheFirstCopysWindow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("kxlink.lock");
        InstanceGuard first(path);
        QCOMPARE(first.acquire(), InstanceGuard::Result::Acquired);
        int raised = 0;
        first.onRaiseRequested([&] { ++raised; });
        for (int start = 1; start <= 2; ++start) {
            const int before = raised;
            InstanceGuard second(path);
            QCOMPARE(second.acquire(), InstanceGuard::Result::AlreadyRunning);
            second.requestRaise();
            QTRY_VERIFY_WITH_TIMEOUT(raised > before, 5000);
        }
    }

    void aLockLeftByACrashedCopyIsTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("kxlink.lock");
        // What a killed copy leaves: a lock naming a process that no longer exists.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("999999\nkxlink\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        InstanceGuard guard(path);
        QCOMPARE(guard.acquire(), InstanceGuard::Result::Acquired);
    }

    void theLockGoesWithTheCopy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("kxlink.lock");
        {
            InstanceGuard first(path);
            QCOMPARE(first.acquire(), InstanceGuard::Result::Acquired);
        }
        InstanceGuard next(path);
        QCOMPARE(next.acquire(), InstanceGuard::Result::Acquired);
    }
};

QTEST_GUILESS_MAIN(InstanceGuardTest)
#include "tst_instanceguard.moc"
