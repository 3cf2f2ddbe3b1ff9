#include "link/PortSettings.h"
#include "link/SerialChannel.h"
#include "app/TComForm.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

// The port settings dialog: its selections are live, only Close writes them.
class ComFormTest : public QObject
{
    Q_OBJECT

private slots:
    void closeBoxAppliesButOnlyCloseButtonSaves()
    {
        QTemporaryDir dir;
        PortSettings settings(dir.path());
        settings.LoadPortSettings();
        const QByteArray created = readAll(settings.iniPath());
        TComForm form(settings);
        form.show();
        QCOMPARE(form.ComNo->text(), QStringLiteral("0"));
        QCOMPARE(form.BaudRate->currentText(), QStringLiteral("19200"));
        QCOMPARE(form.Parity->currentText(), QStringLiteral("Even"));
        QCOMPARE(form.Mode->currentText(), QStringLiteral("CONTINUOUS"));
        QVERIFY(!form.AppVersion->isVisible());

        form.ComNo->setText(QStringLiteral("2"));
        form.BaudRate->setCurrentIndex(2);
        form.Mode->setCurrentIndex(1);
        form.reject(); // the close box
        QCOMPARE(settings.portNumber(), 2);
        QCOMPARE(settings.lineSettings().baud, 9600);
        QCOMPARE(settings.portMode(), 1);
        QCOMPARE(readAll(settings.iniPath()), created);

        form.show();
        QCOMPARE(form.ComNo->text(), QStringLiteral("2"));
        form.CloseButton->click();
        QVERIFY(readAll(settings.iniPath()).contains("Port=2\r\nBaud=2\r\n"));
        QVERIFY(readAll(settings.iniPath()).contains("Mode=1\r\n"));
    }

    void storedIndexBeyondTheListShowsNoSelectionAndIsKept()
    {
        QTemporaryDir dir;
        PortSettings settings(dir.path());
        QFile f(settings.iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Scale Port]\r\nPort=1\r\nBaud=9\r\n");
        f.close();
        settings.LoadPortSettings();
        TComForm form(settings);
        form.show();
        QCOMPARE(form.BaudRate->currentIndex(), -1);
        form.CloseButton->click();
        QVERIFY(readAll(settings.iniPath()).startsWith("[Scale Port]\r\nPort=1\r\nBaud=9\r\n"));
    }

    void aLongPortTextIsUsedAsTheBoxShowsIt()
    {
        QTemporaryDir dir;
        PortSettings settings(dir.path());
        QFile f(settings.iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Scale Port]\r\nPort=1234\r\n");
        f.close();
        settings.LoadPortSettings();
        TComForm form(settings);
        QCOMPARE(form.ComNo->text(), QStringLiteral("123"));
        QCOMPARE(settings.portNumber(), 123);
    }

    void theDialogNamesTheDeviceAndStoresAChosenOne()
    {
        QTemporaryDir dir;
        PortSettings settings(dir.path());
        settings.LoadPortSettings();
        TComForm form(settings);
        form.show();
        form.ComNo->setText(QStringLiteral("3"));
        QVERIFY(form.DeviceLabel->text().contains(defaultDevicePath(3)));
        form.FoundPorts->addItem(QStringLiteral("adapter"), dir.filePath("ttyUSB-test"));
        form.FoundPorts->setCurrentIndex(form.FoundPorts->count() - 1);
        form.UseFoundPort->click();
        QCOMPARE(settings.devicePathFor(3), dir.filePath("ttyUSB-test"));
        QVERIFY(form.DeviceLabel->text().contains(dir.filePath("ttyUSB-test")));
    }

    void everyControlCarriesItsName()
    {
        QTemporaryDir dir;
        PortSettings settings(dir.path());
        TComForm form(settings);
        for (const char* name : {"ComNo", "BaudRate", "DataBits", "Parity", "StopBits", "Mode",
                                 "AppVersion", "CloseButton"}) {
            auto* w = form.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QCOMPARE(w->accessibleDescription(), QString::fromLatin1(name));
        }
        QCOMPARE(form.windowTitle(), QStringLiteral("Communications Port Setup"));
        QCOMPARE(form.size(), QSize(514, 447));
    }
};

QTEST_MAIN(ComFormTest)
#include "tst_comform.moc"
