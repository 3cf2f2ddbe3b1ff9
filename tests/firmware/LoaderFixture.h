#pragma once

#include "FakeSerialDevice.h"
#include "firmware/BootstrapLoader.h"
#include "link/SerialChannel.h"
#include "link/SteppedClock.h"

#include <QTemporaryDir>
#include <functional>

namespace kx::test {

// What the transfer reported, as the update window would see it.
struct LoaderRecorder : BootstrapLoaderListener
{
    QList<int> progress;
    QList<UpdateEnd> ends;
    int entered = 0;
    bool panelShown = true;
    bool closing = false;
    std::function<void(int position, int total)> onReport;

    void ReportProgress(int position, int total) override
    {
        progress.append(position);
        if (onReport)
            onReport(position, total);
    }
    void loaderEntered() override { ++entered; }
    void loaderEnded(const UpdateEnd& end) override { ends.append(end); }
    bool shuttingDown() const override { return closing; }
    bool progressPanelShown() const override { return panelShown; }
    void logChanged() override {}
};

// The loader transfer on a fake port with a stepped clock, and an indicator that answers
// each message at once as the test says.
struct LoaderFixture
{
    struct Sent
    {
        qint64 at;
        QByteArray bytes;
    };
    // The bytes the indicator answers to message index (from 0); empty: silence.
    using Responder = std::function<QByteArray(int index, const QByteArray& message)>;

    SteppedClock clock;
    FakeSerialDevice* dev = new FakeSerialDevice;
    SerialChannel port{clock, std::unique_ptr<SerialDevice>(dev),
                       [](int) { return QStringLiteral("/dev/fake-loader"); }};
    LoaderRecorder rec;
    QTemporaryDir dir;
    BootstrapLoader loader{clock, port, rec, dir.path()};
    QList<Sent> sent;
    // Called before each millisecond step, with the time.
    std::function<void(qint64 now)> beforeStep;
    // How long the loader takes to answer message index; 0: at once.
    std::function<qint64(int index)> replyDelay;
    // Answers on their way: when each arrives, and its bytes.
    QList<std::pair<qint64, QByteArray>> pending;

    LoaderFixture()
    {
        port.SetComNumber(1);
        port.SetOpen(true);
        loader.setReplyTimer(port.AddTimerTrigger());
        port.setHandler([this](TriggerKind kind, quint16 handle, int count) {
            loader.ScalePortTrigger(kind, handle, count);
        });
    }

    static QList<QByteArray> image(int lines)
    {
        QList<QByteArray> out;
        for (int i = 0; i < lines; ++i)
            out.append("L" + QByteArray::number(i));
        return out;
    }

    // Starts a transfer of lines and runs it in 1 ms steps until it has ended or limitMs passed.
    void run(int lines, const Responder& respond, qint64 limitMs = 120000)
    {
        loader.StartTransfer(image(lines));
        const qint64 end = clock.nowMs() + limitMs;
        while (clock.nowMs() < end) {
            if (beforeStep)
                beforeStep(clock.nowMs());
            clock.advance(1);
            while (!pending.isEmpty() && pending.front().first <= clock.nowMs())
                deliver(pending.takeFirst().second);
            const QByteArray w = dev->takeWritten();
            if (!w.isEmpty()) {
                sent.append({clock.nowMs(), w});
                const int index = int(sent.size()) - 1;
                const QByteArray reply = respond(index, w);
                const qint64 delay = replyDelay ? replyDelay(index) : 0;
                if (delay > 0) {
                    const qint64 at = clock.nowMs() + delay;
                    qsizetype i = pending.size();
                    while (i > 0 && pending[i - 1].first > at)
                        --i;
                    pending.insert(i, {at, reply});
                } else
                    deliver(reply);
            }
            if (loader.sendStep() == SendStep::Idle && !loader.stepScheduled() && pending.isEmpty())
                return;
        }
    }

    void deliver(const QByteArray& reply)
    {
        for (const QByteArray& part : reply.split('|')) {
            if (part.isEmpty())
                continue;
            dev->feed(part);
            clock.runPosted();
        }
    }

    // The progress reports, then how the run ended: "0 1 2 completed".
    QString story() const
    {
        QStringList out;
        for (const int p : rec.progress)
            out << QString::number(p);
        for (const UpdateEnd& e : rec.ends)
            out << QString::fromLatin1(outcomeName(e.outcome));
        return out.join(QLatin1Char(' '));
    }

    // E for enter, X for end, L<n> for a line.
    QString kinds() const
    {
        QStringList out;
        for (const Sent& s : sent) {
            if (s.bytes == QByteArray("\x02"
                                      "BSL\x03\xDC"))
                out << QStringLiteral("E");
            else if (s.bytes == QByteArray("\x04\x84"))
                out << QStringLiteral("X");
            else
                out << QString::fromLatin1(s.bytes.left(s.bytes.indexOf('\r')));
        }
        return out.join(QLatin1Char(' '));
    }
};

} // namespace kx::test
