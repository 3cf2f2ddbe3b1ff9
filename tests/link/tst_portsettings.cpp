#include "link/DevicePath.h"
#include "link/PortSettings.h"

#include <QDir>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class PortSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void firstStartCreatesTheFileWithItsDefaults()
    {
        QTemporaryDir dir;
        PortSettings s(dir.path());
        s.ComNo = QStringLiteral("7");
        s.LoadPortSettings();
        QCOMPARE(
            readAll(s.iniPath()),
            QByteArray("[Scale Port]\r\nPort=0\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\n"
                       "Stop Bits=0\r\nMode=0\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=1\r\n"));
        QCOMPARE(s.ComNo, QStringLiteral("0"));
        QCOMPARE(PortSettings::BaudRates().at(s.BaudRate), QStringLiteral("19200"));
        QCOMPARE(PortSettings::Parities().at(s.Parity), QStringLiteral("Even"));
        QCOMPARE(PortSettings::Modes().at(s.Mode), QStringLiteral("CONTINUOUS"));
        QCOMPARE(s.CustomOutputs, 1);
    }

    void loadedValuesAndTheirLineSettings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("customOutputs");
        const auto P = [](Parity p) { return int(p); };
        QTest::newRow("all set") << QByteArray("[Scale Port]\nPort=3\nBaud=6\nParity=2\nStop "
                                               "Bits=1\nMode=1\n[Advanced]\nCustom Outputs=2\n")
                                 << 3 << 115200 << P(Parity::Odd) << 2 << 1 << 2;
        QTest::newRow("baud 9 shows nothing and opens at 19200")
            << QByteArray("[Scale Port]\nPort=2\nBaud=9\nParity=1\n") << 2 << 19200
            << P(Parity::None) << 1 << 0 << 1;
        QTest::newRow("letters in the port") << QByteArray("[Scale Port]\nPort=COM1\n") << 0
                                             << 19200 << P(Parity::Even) << 1 << 0 << 1;
        QTest::newRow("digits then letters") << QByteArray("[Scale Port]\nPort=12ab\n") << 12
                                             << 19200 << P(Parity::Even) << 1 << 0 << 1;
        QTest::newRow("the highest port number") << QByteArray("[Scale Port]\nPort=99999\n")
                                                 << 99999 << 19200 << P(Parity::Even) << 1 << 0 << 1;
        QTest::newRow("a longer number selects no port")
            << QByteArray("[Scale Port]\nPort=100000\n") << 0 << 19200 << P(Parity::Even) << 1
            << 0 << 1;
        QTest::newRow("a million digits select no port")
            << QByteArray("[Scale Port]\nPort=" + QByteArray(1000000, '1') + "\n") << 0 << 19200
            << P(Parity::Even) << 1 << 0 << 1;
        QTest::newRow("leading zeros are no longer number")
            << QByteArray("[Scale Port]\nPort=" + QByteArray(1000, '0') + "7\n") << 7 << 19200
            << P(Parity::Even) << 1 << 0 << 1;
        QTest::newRow("not a number reads as the default")
            << QByteArray("[Scale Port]\nPort=1\nBaud=fast\nMode=x\n") << 1 << 19200
            << P(Parity::Even) << 1 << 0 << 1;
    }
    void loadedValuesAndTheirLineSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, mode);
        QFETCH(int, customOutputs);
        QTemporaryDir dir;
        PortSettings s(dir.path());
        writeAll(s.iniPath(), file);
        s.LoadPortSettings();
        QCOMPARE(readAll(s.iniPath()), file); // loading never writes an existing file
        QCOMPARE(s.portNumber(), port);
        const LineSettings line = s.lineSettings();
        QCOMPARE(line.baud, baud);
        QCOMPARE(int(line.parity), parity);
        QCOMPARE(line.dataBits, 8);
        QCOMPARE(line.stopBits, stopBits);
        QCOMPARE(s.portMode(), mode);
        QCOMPARE(s.CustomOutputs, customOutputs);
    }

    // What a selector shows is what the line gets: each entry, chosen, opens the port so.
    void eachShownChoiceIsTheLineSetting()
    {
        PortSettings s;
        for (int i = 0; i < PortSettings::BaudRates().size(); ++i) {
            s.BaudRate = i;
            QCOMPARE(QString::number(s.lineSettings().baud), PortSettings::BaudRates().at(i));
        }
        for (int i = 0; i < PortSettings::StopBitsList().size(); ++i) {
            s.StopBits = i;
            QCOMPARE(QString::number(s.lineSettings().stopBits),
                     PortSettings::StopBitsList().at(i));
        }
        QCOMPARE(PortSettings::DataBitsList(),
                 QStringList{QString::number(s.lineSettings().dataBits)});
        const QStringList parityNames{"Even", "None", "Odd"};
        const Parity parities[] = {Parity::Even, Parity::None, Parity::Odd};
        QCOMPARE(PortSettings::Parities(), parityNames);
        for (int i = 0; i < 3; ++i) {
            s.Parity = i;
            QCOMPARE(s.lineSettings().parity, parities[i]);
        }
        for (int i = 0; i < PortSettings::Modes().size(); ++i) {
            s.Mode = i;
            QCOMPARE(s.portMode() == 1, PortSettings::Modes().at(i) == u"DEMAND");
        }
    }

    void savingKeepsWhatTheDialogDoesNotOwn()
    {
        QTemporaryDir dir;
        PortSettings s(dir.path());
        writeAll(s.iniPath(), "; site notes\r\n[Scale Port]\r\nPort=1\r\nBaud=9\r\nExtra=keep\r\n"
                              "[Advanced]\r\nCustom Outputs=2\r\n[Devices]\r\n1=/dev/ttyUSB0\r\n");
        s.LoadPortSettings();
        QCOMPARE(s.BaudRate, -1);
        s.ComNo = QStringLiteral("abc");
        s.Mode = 1;
        s.SavePortSettings();
        QCOMPARE(
            readAll(s.iniPath()),
            QByteArray(
                "; site notes\r\n[Scale Port]\r\nPort=0\r\nBaud=9\r\nExtra=keep\r\n"
                "Parity=0\r\nData Bits=0\r\nStop Bits=0\r\nMode=1\r\n"
                "[Advanced]\r\nCustom Outputs=2\r\nVersion=0\r\n[Devices]\r\n1=/dev/ttyUSB0\r\n"));
    }

    void byteOrderMarkHidesNoSection()
    {
        QTemporaryDir dir;
        PortSettings s(dir.path());
        writeAll(s.iniPath(), "\xEF\xBB\xBF[Scale Port]\r\nPort=3\r\nMode=1\r\n");
        s.LoadPortSettings();
        QCOMPARE(s.portNumber(), 3);
        QCOMPARE(s.portMode(), 1);
        QVERIFY(s.SavePortSettings());
        const QByteArray saved = readAll(s.iniPath());
        QVERIFY(saved.startsWith("\xEF\xBB\xBF[Scale Port]\r\nPort=3\r\n"));
        QCOMPARE(saved.count("[Scale Port]"), 1);
    }

    // A Port.Ini that cannot be read selects no port and says why; nothing replaces it.
    void unreadableFileSaysWhy()
    {
        QTemporaryDir dir;
        PortSettings s(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Port.Ini")));
        s.LoadPortSettings();
        QCOMPARE(s.portNumber(), 0);
        QVERIFY2(s.loadFailure().startsWith(QDir::toNativeSeparators(s.iniPath()) + ": "),
                 qPrintable(s.loadFailure()));
        QVERIFY(QFileInfo(s.iniPath()).isDir());
    }

    // Settings held in memory never touch Port.Ini, whatever is asked of them.
    void settingsInMemoryLeaveTheFileAlone()
    {
        QTemporaryDir dir;
        PortSettings s(dir.path());
        const QByteArray own = "[Scale Port]\r\nPort=4\r\n[Devices]\r\n1=/dev/ttyUSB3\r\n";
        writeAll(s.iniPath(), own);
        s.holdInMemory(QStringLiteral("/tmp/link"));
        s.ComNo = QStringLiteral("1");
        s.LoadPortSettings();
        QCOMPARE(s.portNumber(), 1);
        QCOMPARE(s.devicePathFor(1), QStringLiteral("/tmp/link"));
        QVERIFY(s.SavePortSettings());
        QVERIFY(s.setMappedDevice(1, QStringLiteral("/tmp/other")));
        QCOMPARE(s.mappedDevice(1), QStringLiteral("/tmp/other"));
        QCOMPARE(readAll(s.iniPath()), own);

        PortSettings none(dir.path() + QStringLiteral("/nowhere"));
        none.holdInMemory({});
        none.LoadPortSettings();
        QVERIFY(!QFileInfo::exists(none.iniPath()));
        QVERIFY(none.mappedDevice(1).isEmpty());
    }

    void portNumbersMapToDevices()
    {
        QTemporaryDir dir;
        PortSettings s(dir.path());
        s.LoadPortSettings();
        QVERIFY(s.mappedDevice(1).isEmpty());
        QVERIFY(s.setMappedDevice(1, QStringLiteral("/dev/serial/by-id/usb-adapter")));
        QCOMPARE(s.devicePathFor(1), QStringLiteral("/dev/serial/by-id/usb-adapter"));
#ifndef Q_OS_WIN
        QCOMPARE(s.devicePathFor(2), QStringLiteral("/dev/ttyS1"));
#endif
        // The dialog's keys stay where they were.
        QVERIFY(readAll(s.iniPath()).startsWith("[Scale Port]\r\nPort=0\r\n"));
        QVERIFY(readAll(s.iniPath()).endsWith("[Devices]\r\n1=/dev/serial/by-id/usb-adapter\r\n"));
        QVERIFY(s.setMappedDevice(1, {}));
        QVERIFY(s.mappedDevice(1).isEmpty());
    }

#ifndef Q_OS_WIN
    // A device name means what it says: what the working folder holds under that name, by
    // its absolute path; a bare name found nowhere there is the device under /dev.
    void deviceNamesResolveAgainstTheWorkingFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("resolved"); // "@" stands for the working folder
        QTest::newRow("a link in the working folder") << "tty1" << "@/tty1";
        QTest::newRow("a bare name not there") << "ttyS0" << "/dev/ttyS0";
        QTest::newRow("a relative path") << "sub/tty1" << "@/sub/tty1";
        QTest::newRow("dot and dot-dot") << "./sub/../tty1" << "@/tty1";
        QTest::newRow("absolute stays") << "/dev/ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("empty stays empty") << "" << "";
    }
    void deviceNamesResolveAgainstTheWorkingFolder()
    {
        QFETCH(QString, name);
        QFETCH(QString, resolved);
        QTemporaryDir dir;
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath("tty1")));
        resolved.replace(QLatin1Char('@'), dir.path());
        QCOMPARE(resolveDevicePath(name, dir.path()), resolved);

        // Port.Ini's [Devices] values too, taken against the process's working folder.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        PortSettings s(dir.path());
        s.LoadPortSettings();
        QVERIFY(s.setMappedDevice(8, name));
        const QString mapped = s.devicePathFor(8);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(mapped, name.isEmpty() ? QStringLiteral("/dev/ttyS7") : resolved);
    }
#endif
};

QTEST_GUILESS_MAIN(PortSettingsTest)
#include "tst_portsettings.moc"
