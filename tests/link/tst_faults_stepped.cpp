// The front panel against the simulated indicator misbehaving on purpose, in both poll modes,
// on the stepped clock: the bounds are exact, so a busy machine cannot make them flake.
#include "FrontPanelFixture.h"
#include "SimulatedIndicator.h"

#include <QTest>

using namespace kx;
using kx::test::RecordingHost;
using kx::test::SimulatedIndicator;

namespace {
const QString kWeight = QStringLiteral("  12.50");
// Polling is back this soon after a fault ends: the next tick's poll and its frame.
constexpr qint64 kBackWithinMs = 1000;
} // namespace

class FaultsSteppedTest : public QObject
{
    Q_OBJECT

private slots:
    void faultsWhilePolling_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("fault");
        for (int mode : {0, 1})
            for (const char* fault : {"noise", "split", "slow", "silence", "vanish"})
                QTest::addRow("%s, %s", mode ? "demand" : "continuous", fault) << mode << fault;
    }
    void faultsWhilePolling()
    {
        QFETCH(int, mode);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        SteppedClock clock{0};
        SimulatedIndicator::Options options;
        options.frameMode = mode ? sim::Indicator::FrameMode::Demand
                                 : sim::Indicator::FrameMode::Continuous;
        auto device = std::make_unique<SimulatedIndicator>(clock, options);
        SimulatedIndicator& sim = *device;
        sim.faults.noise = fault == "noise";
        sim.faults.split = fault == "split";
        sim.faults.delayMs = fault == "slow" ? 300 : 0;
        RecordingHost host;
        PortSettings port(dir.path());
        port.ComNo = QStringLiteral("1");
        port.Mode = mode;
        LineSession panel(clock, std::move(device), port, host, host);
        panel.FormCreate();
        panel.setPortSettingsLoaded();
        panel.FormActivate();
        const FaceState& face = panel.faceState();
        clock.advance(1000);
        QCOMPARE(face.Weight, kWeight);
        QVERIFY(panel.connected());

        // The first moment, within limitMs, at which done() holds; -1 if none.
        const auto within = [&](qint64 limitMs, const std::function<bool()>& done) -> qint64 {
            for (qint64 ms = 0; ms <= limitMs; ++ms) {
                if (done())
                    return ms;
                clock.advance(1);
            }
            return -1;
        };

        if (fault == "silence") {
            // No frames: the spinner stops (a settled weight stays shown), and turns again
            // soon after the silence ends.
            constexpr int silenceMs = 3000;
            sim.silence(silenceMs);
            clock.advance(1000);
            const QString stopped = face.ConnectedLabel;
            clock.advance(silenceMs - 1000);
            QCOMPARE(face.ConnectedLabel, stopped);
            sim.silence(0);
            const qint64 back = within(kBackWithinMs, [&] { return face.ConnectedLabel != stopped; });
            QVERIFY2(back >= 0, "polling did not come back");
            QCOMPARE(face.Weight, kWeight);
        } else if (fault == "vanish") {
            sim.unplug();
            clock.advance(200);
            QCOMPARE(face.ConnectedLabel, QStringLiteral("Not Connected."));
            QCOMPARE(face.Weight, QStringLiteral("------"));
            QVERIFY(!face.lbUnitsArrow && !face.kgUnitsArrow && !face.NetArrow);
            QVERIFY(!panel.connected());
            sim.replug();
            panel.WeightDblClick(); // the port settings dialog's reopen
            while (panel.opening())
                clock.advance(1);
            QVERIFY(panel.connected());
            QVERIFY(within(kBackWithinMs, [&] { return face.Weight == kWeight; }) >= 0);
        } else {
            // The fault lasts: frames must keep coming through it, the spinner turning.
            const QString spin = face.ConnectedLabel;
            QVERIFY(within(2000, [&] { return face.ConnectedLabel != spin; }) >= 0);
            QVERIFY(within(2000, [&] { return face.Weight == kWeight; }) >= 0);
        }
        QVERIFY2(host.portErrors.isEmpty(), qPrintable(host.portErrors.join(" | ")));
        QCOMPARE(host.terminated, 0);
        panel.FormClose();
    }
};

QTEST_GUILESS_MAIN(FaultsSteppedTest)
#include "tst_faults_stepped.moc"
