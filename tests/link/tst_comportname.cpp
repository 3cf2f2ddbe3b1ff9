#include "link/ComPortName.h"

#include <QTest>

using namespace kx;

// Windows' port names: what is opened for a name, and what is shown.
class ComPortNameTest : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("openPath");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<int>("number");

        QTest::newRow("COM1") << "COM1"
                              << "\\\\.\\COM1"
                              << "COM1" << 1;
        QTest::newRow("lower case") << "com5"
                                    << "\\\\.\\COM5"
                                    << "COM5" << 5;
        // Only the device namespace opens COM10 and up; a bare COM10 is a file name.
        QTest::newRow("COM10") << "COM10"
                               << "\\\\.\\COM10"
                               << "COM10" << 10;
        QTest::newRow("COM255 is the last") << "COM255"
                                            << "\\\\.\\COM255"
                                            << "COM255" << 255;
        QTest::newRow("already in the namespace") << "\\\\.\\com12"
                                                  << "\\\\.\\COM12"
                                                  << "COM12" << 12;
        QTest::newRow("blanks around") << " COM3 "
                                       << "\\\\.\\COM3"
                                       << "COM3" << 3;
        QTest::newRow("another driver's port") << "\\\\.\\CNCB0"
                                               << "\\\\.\\CNCB0"
                                               << "\\\\.\\CNCB0" << 0;
        // No port: never opened as a file in the working folder.
        QTest::newRow("COM0") << "COM0"
                              << ""
                              << "COM0" << 0;
        QTest::newRow("COM256") << "COM256"
                                << ""
                                << "COM256" << 0;
        QTest::newRow("leading zero") << "COM05"
                                      << ""
                                      << "COM05" << 0;
        QTest::newRow("a file name") << "scale.txt"
                                     << ""
                                     << "scale.txt" << 0;
        QTest::newRow("a Linux device") << "/dev/ttyS0"
                                        << ""
                                        << "/dev/ttyS0" << 0;
        QTest::newRow("empty") << ""
                               << ""
                               << "" << 0;
        QTest::newRow("namespace alone") << "\\\\.\\"
                                         << ""
                                         << "\\\\.\\" << 0;
        QTest::newRow("a path in the namespace") << "\\\\.\\C:\\scale"
                                                 << ""
                                                 << "\\\\.\\C:\\scale" << 0;
        QTest::newRow("COM with a suffix") << "COM3:"
                                           << ""
                                           << "COM3:" << 0;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QString, openPath);
        QFETCH(QString, shortName);
        QFETCH(int, number);
        QCOMPARE(comPortOpenPath(name), openPath);
        QCOMPARE(comPortShortName(name), shortName);
        QCOMPARE(comPortNumber(name), number);
    }
};

QTEST_GUILESS_MAIN(ComPortNameTest)
#include "tst_comportname.moc"
