#pragma once

#include "FakeSerialDevice.h"
#include "firmware/FirmwareUpdate.h"
#include "link/SteppedClock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace kx::test {

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
    bool shuttingDown() const override { return closing; }

    SerialChannel main;
    bool closing = false;
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
    void updateEnded(const UpdateEnd& end) override { ends << end; }

    const FirmwareUpdate* update = nullptr;
    QList<UpdateEnd> ends;
    QString answer;
    QString askedIn;
    QStringList refusals;
    QList<LabelLook> looks;
    QStringList details;
    int paintedNow = 0;
    bool busy = false;
};

inline QByteArray hexFile(int dataLines)
{
    QByteArray out;
    for (int i = 0; i < dataLines; ++i)
        out += ":01000000AB54\r\n";
    return out + ":00000001FF\r\n";
}

inline const QByteArray Ack(1, '\x06');
inline const QByteArray Nak(1, '\x15');
inline const QByteArray EnterMessage("\x02"
                                     "BSL\x03\xDC");
inline const QByteArray EndMessage("\x04\x84");

// What the loader answers to a message; empty: nothing.
using Reply = std::function<QByteArray(const QByteArray& message)>;

// An update on a fake loader port and a stepped clock, with the helpers that drive it; the
// test classes derive from it and call its case set-up and tear-down from init() and cleanup().
struct FirmwareUpdateFixture
{
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

    // Runs the clock in 1 ms steps for up to ms, answering each message the loader port sends
    // with reply(message); stops early once until() holds. Returns what was sent.
    QByteArray drive(qint64 ms, const Reply& reply = {}, const std::function<bool()>& until = {})
    {
        QByteArray all;
        for (qint64 t = 0; t < ms && !(until && until()); ++t) {
            clock.advance(1);
            const QByteArray w = loaderDev->takeWritten();
            if (w.isEmpty())
                continue;
            all += w;
            const QByteArray r = reply ? reply(w) : QByteArray();
            if (!r.isEmpty()) {
                loaderDev->feed(r);
                clock.runPosted();
            }
        }
        return all;
    }
    void feed(const QByteArray& bytes)
    {
        loaderDev->feed(bytes);
        clock.runPosted();
    }
    // F3 with an image of dataLines and the end record; lines go 50 ms apart.
    void startUpdate(int dataLines)
    {
        write("bsl.Ini", "[BSL]\r\nLineDelay=50\r\n");
        make();
        view->answer = write("image.hex", hexFile(dataLines));
        update->F3UpdateButtonClick();
    }
    // Brings a fresh update of three data lines to a named point of its run.
    void reach(const QString& state)
    {
        startUpdate(3);
        const Reply ack = [](const QByteArray&) { return Ack; };
        const Reply ackAllButEnd = [](const QByteArray& m) {
            return m == EndMessage ? QByteArray() : Ack;
        };
        if (state == QLatin1String("enter due"))
            return;
        drive(200);
        if (state == QLatin1String("enter sent"))
            return;
        if (state == QLatin1String("failed")) {
            feed(Nak);
            return;
        }
        feed(Ack);
        if (state == QLatin1String("enter accepted"))
            return;
        drive(2000);
        if (state == QLatin1String("line sent"))
            return;
        if (state == QLatin1String("resend due")) {
            feed(Nak);
            return;
        }
        feed(Ack);
        if (state == QLatin1String("line delay"))
            return;
        if (state == QLatin1String("end sent")) {
            drive(5000, ackAllButEnd,
                  [&] { return update->loader().awaitedReply() == AwaitedReply::End; });
            return;
        }
        drive(5000, ack, [&] { return update->phase() == UpdatePhase::Reloading; });
        if (state == QLatin1String("reloading"))
            return;
        drive(6000);
    }

    // Empties the program folder so that no bsl.Ini or marker of an earlier case is read.
    void startCase()
    {
        QVERIFY(dir.isValid());
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(f));
    }
    void endCase()
    {
        update.reset();
        view.reset();
        host.reset();
    }
};

} // namespace kx::test
