#include "FakeSerialDevice.h"
#include "firmware/FirmwareUpdate.h"
#include "link/SteppedClock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;
using namespace kx::test;

namespace {

// The front panel as the update sees it, recording the hand-over.
struct FakeHost : UpdateHost
{
    explicit FakeHost(Clock& clock) : main(clock, std::make_unique<FakeSerialDevice>()) {}
    void takeLineForUpdate() override { events << QStringLiteral("take"); }
    const SerialChannel& mainPort() const override { return main; }
    QString deviceFor(int port) const override { return QStringLiteral("/dev/fake%1").arg(port); }
    void disableFace() override { events << QStringLiteral("disable"); }
    void giveLineBack() override { events << QStringLiteral("give back"); }
    void showUpdatePanel(bool shown, bool closeShown) override
    {
        panelShown = shown;
        closeShownOnFace = closeShown;
    }
    bool shuttingDown() const override { return false; }

    SerialChannel main;
    QStringList events;
    bool panelShown = false;
    bool closeShownOnFace = false;
};

struct FakeView : FirmwareUpdateView
{
    QString askUpdateFile(const QString& startFolder) override
    {
        askedIn = startFolder;
        return answer;
    }
    void refuseUpdateFile(const QString& text) override { refusals << text; }
    void updatePanelChanged(bool now) override
    {
        if (update && update->panel().visible) {
            looks << update->panel().look;
            details << update->panel().detail;
        }
        paintedNow += now ? 1 : 0;
    }
    void setBusyCursor(bool b) override { busy = b; }

    const FirmwareUpdate* update = nullptr;
    QString answer;
    QString askedIn;
    QStringList refusals;
    QList<LabelLook> looks;
    QStringList details;
    int paintedNow = 0;
    bool busy = false;
};

QByteArray hexFile(int dataLines)
{
    QByteArray out;
    for (int i = 0; i < dataLines; ++i)
        out += ":01000000AB54\r\n";
    return out + ":00000001FF\r\n";
}

} // namespace

// The update window's behaviour without the window: hand-over, file check, panel states.
class FirmwareUpdateTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    SteppedClock clock;
    FakeSerialDevice* loaderDev = nullptr;
    std::unique_ptr<FakeHost> host;
    std::unique_ptr<FakeView> view;
    std::unique_ptr<FirmwareUpdate> update;

    QString write(const char* name, const QByteArray& content)
    {
        QFile f(dir.filePath(QLatin1String(name)));
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(content);
        return f.fileName();
    }
    void make()
    {
        loaderDev = new FakeSerialDevice;
        host = std::make_unique<FakeHost>(clock);
        host->main.SetBaud(9600);
        host->main.SetParity(Parity::Even);
        host->main.SetDatabits(7);
        host->main.SetComNumber(3);
        view = std::make_unique<FakeView>();
        update = std::make_unique<FirmwareUpdate>(clock, std::unique_ptr<SerialDevice>(loaderDev),
                                                  *host, *view, dir.path());
        view->update = update.get();
    }
    // The loader answers every message with ACK until the transfer ends or limit passes.
    int runAcking(qint64 limitMs = 60000)
    {
        int messages = 0;
        for (qint64 t = 0; t < limitMs; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                ++messages;
                loaderDev->feed(QByteArray(1, '\x06'));
                clock.runPosted();
            }
            if (update->panel().closeVisible)
                break;
        }
        return messages;
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(f));
    }
    void cleanup()
    {
        update.reset();
        view.reset();
        host.reset();
    }

    void f3TakesTheLineAndCopiesTheMainPortSettings()
    {
        make();
        view->answer = write("image.hex", hexFile(2));
        update->F3UpdateButtonClick();
        QCOMPARE(host->events, (QStringList{"take", "disable"}));
        QCOMPARE(view->askedIn, dir.path());
        QVERIFY(update->ScalePort().IsOpen());
        QCOMPARE(loaderDev->lastPath, QStringLiteral("/dev/fake3"));
        QCOMPARE(loaderDev->lastSettings.baud, 9600);
        QCOMPARE(loaderDev->lastSettings.parity, Parity::Even);
        QCOMPARE(loaderDev->lastSettings.dataBits, 7);
        QCOMPARE(update->panel().label, QStringLiteral("Transferring image.hex, 0% complete."));
        QVERIFY(host->panelShown);
        QCOMPARE(runAcking(), 5);
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Complete!!"));
        QCOMPARE(update->panel().look, LabelLook::WhiteOnNavy);
        QVERIFY(!update->panel().retryVisible);
        QVERIFY(!update->panel().waitVisible);
        QCOMPARE(view->paintedNow, 1);
        QVERIFY(!view->busy);

        QVERIFY(update->FormKeyUp(Qt::Key_Escape));
        QCOMPARE(host->events.back(), QStringLiteral("give back"));
        QVERIFY(!update->ScalePort().IsOpen());
        QCOMPARE(update->ScalePort().ComNumber(), 0);
        QVERIFY(!host->panelShown);
        QVERIFY(!update->FormKeyUp(Qt::Key_Escape));
    }

    void theReloadWaitIsAHundredTicks()
    {
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        qint64 endAck = 0;
        for (qint64 t = 0; t < 20000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            const QByteArray w = loaderDev->takeWritten();
            if (!w.isEmpty()) {
                if (w == QByteArray("\x04\x84"))
                    endAck = clock.nowMs();
                loaderDev->feed(QByteArray(1, '\x06'));
                clock.runPosted();
            }
        }
        const qint64 waited = clock.nowMs() - endAck;
        QVERIFY2(waited >= 100 * 55 && waited <= 101 * 55 + 1, qPrintable(QString::number(waited)));
    }

    void progressShowsLinesAndTheTimeLeftFromTheLineRate()
    {
        write("bsl.Ini", "[BSL]\r\nLineDelay=10000\r\n");
        make();
        view->answer = write("image.hex", hexFile(5));
        update->F3UpdateButtonClick();
        runAcking(120000);
        // An answer comes at once, so lines go 10000 ms apart; the enter pause before the first
        // line does not count.
        QVERIFY(view->details.contains(QStringLiteral("1 of 6 lines")));
        QVERIFY(view->details.contains(QStringLiteral("3 of 6 lines, about 0:30 left")));
        QVERIFY(view->details.contains(QStringLiteral("6 of 6 lines, about 0:00 left")));
        QVERIFY(update->panel().detail.isEmpty());
    }

    void cancellingTheDialogHandsTheLineBack()
    {
        make();
        update->F3UpdateButtonClick();
        QCOMPARE(host->events, (QStringList{"take", "disable", "give back"}));
        QVERIFY(!update->ScalePort().IsOpen());
        QVERIFY(!view->busy);
    }

    void aFaultyFileIsRefusedBeforeAnyByteIsSent()
    {
        make();
        view->answer = write("bad.hex", ":01000000AB54\r\n:01000000AB55\r\n:00000001FF\r\n");
        update->F3UpdateButtonClick();
        QCOMPARE(view->refusals.size(), 1);
        QVERIFY(view->refusals[0].contains(QStringLiteral("bad.hex")));
        QVERIFY(view->refusals[0].contains(QStringLiteral("Line 2: the checksum is wrong")));
        QCOMPARE(host->events.back(), QStringLiteral("give back"));
        clock.advance(5000);
        QVERIFY(loaderDev->written.isEmpty());
        QVERIFY(!update->panel().visible);
    }

    void theLabelSwapsColoursEveryTwentyLines()
    {
        make();
        view->answer = write("forty.hex", hexFile(39)); // 40 lines with the end record
        update->F3UpdateButtonClick();
        runAcking();
        // The looks shown at positions 0..40: swapped at 0, 20 and 40.
        QList<LabelLook> atPositions;
        for (const LabelLook l : view->looks)
            if (atPositions.isEmpty() || atPositions.back() != l)
                atPositions << l;
        QCOMPARE(atPositions, (QList<LabelLook>{LabelLook::RedOnYellow, LabelLook::YellowOnRed,
                                                LabelLook::RedOnYellow, LabelLook::WhiteOnNavy}));
    }

    void failureOffersRetryWhichStartsFromEnter()
    {
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        for (qint64 t = 0; t < 5000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                loaderDev->feed(QByteArray(1, '\x15'));
                clock.runPosted();
            }
        }
        QCOMPARE(update->panel().label, QStringLiteral("Transfer Failed!"));
        QVERIFY(update->panel().retryVisible);
        QVERIFY(update->FormKeyUp(Qt::Key_Return) && host->panelShown == false);
        // Retry after Close is not possible; start again and retry from the failure.
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        for (qint64 t = 0; t < 5000 && !update->panel().closeVisible; ++t) {
            clock.advance(1);
            if (!loaderDev->takeWritten().isEmpty()) {
                loaderDev->feed(QByteArray(1, '\x15'));
                clock.runPosted();
            }
        }
        update->RetryUpdateClick();
        QVERIFY(!update->panel().retryVisible);
        clock.advance(200);
        QCOMPARE(loaderDev->takeWritten(), QByteArray("\x02"
                                                      "BSL\x03\xDC"));
    }

    void closeDuringATransferStopsIt()
    {
        make();
        view->answer = write("image.hex", hexFile(3));
        update->F3UpdateButtonClick();
        clock.advance(250);
        QVERIFY(!loaderDev->takeWritten().isEmpty());
        view->answer.clear();
        update->F3UpdateButtonClick(); // F3 again, dialog cancelled: Close
        QVERIFY(!update->loader().stepScheduled());
        QCOMPARE(update->loader().sendStep(), SendStep::Idle);
        clock.advance(5000);
        QVERIFY(loaderDev->takeWritten().isEmpty());
    }

    void keepGoingRepeatsTheUpdate()
    {
        write("keep.going", "");
        make();
        view->answer = write("image.hex", hexFile(1));
        update->F3UpdateButtonClick();
        runAcking();
        QVERIFY(update->retryTimer().enabled());
        clock.advance(2500);
        QVERIFY(!update->panel().closeVisible);
        QCOMPARE(loaderDev->takeWritten(), QByteArray());
        clock.advance(200);
        QCOMPARE(loaderDev->takeWritten(), QByteArray("\x02"
                                                      "BSL\x03\xDC"));
    }

    void loaderSettings_data()
    {
        QTest::addColumn<QByteArray>("ini"); // empty: no bsl.Ini
        QTest::addColumn<bool>("logMarker");
        QTest::addColumn<int>("lineDelay");
        QTest::addColumn<bool>("logging");
        QTest::newRow("no bsl.Ini") << QByteArray() << true << 10 << false;
        QTest::newRow("no key") << QByteArray("[BSL]\r\n") << false << 10 << false;
        QTest::newRow("delay and log")
            << QByteArray("[BSL]\r\nLineDelay=25\r\n") << true << 25 << true;
    }
    void loaderSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, logMarker);
        QFETCH(int, lineDelay);
        QFETCH(bool, logging);
        if (!ini.isEmpty())
            write("bsl.Ini", ini);
        if (logMarker)
            write("loghex.dta", "");
        make();
        QCOMPARE(update->loader().lineDelay(), lineDelay);
        QCOMPARE(update->loader().logging(), logging);
    }
};

QTEST_GUILESS_MAIN(FirmwareUpdateTest)
#include "tst_firmwareupdate.moc"
