#include "SimProcess.h"
#include "app/TMainForm.h"
#include "app/TrendWindow.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"
#include "trend/TrendFeed.h"

#include <QAccessible>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;
using kx::test::startSimulator;
using kx::test::writePortIni;

// The trend as a technician meets it: the program against the simulator with changing loads
// and a drift, Ctrl+T on the face, a recording of what came. What the window says must be
// what the frames said, and the frames what the simulator sent.
class TrendSimTest : public QObject
{
    Q_OBJECT

private slots:
    void ctrlTShowsWhatTheSimulatorSent()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyKX7400");
        QProcess sim;
        QVERIFY(startSimulator(sim, link,
                               {"--load-every", "1.5", "--drift", "3", "--jitter", "1", "--log",
                                dir.filePath("sim.log")}));
        QVERIFY(writePortIni(dir.path(), link,
                             "[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nMode=0\r\n"));

        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<QtSerialDevice>());
        const QString csvPath = dir.filePath("weights.csv");
        QString why;
        QVERIFY2(form.trendFeed().startRecording(csvPath, &why), qPrintable(why));
        int shown = 0;
        connect(&form.panel(), &LineSession::frameShown, this, [&] { ++shown; });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_T, Qt::ControlModifier);
        auto* trend = qobject_cast<TrendWindow*>(form.trendWindow());
        QVERIFY(trend && trend->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(shown >= 40, 15000);

        // The indicator goes quiet; what came is what the window sums up.
        form.trendFeed().stopRecording();
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        trend->refresh();

        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows.takeFirst(), QByteArray("time,weight,text,units,net,settled\r"));
        rows.removeAll(QByteArray());
        QCOMPARE(rows.size(), shown);
        QList<double> weights;
        QStringList texts;
        static const QRegularExpression row(
            QStringLiteral("^[^,]+,([-0-9.]*),\"([^\"]{7})\",lb,false,(true|false)\r$"));
        for (const QByteArray& r : rows) {
            const auto m = row.match(QString::fromLatin1(r));
            QVERIFY2(m.hasMatch(), r.constData());
            weights << m.captured(1).toDouble();
            texts << m.captured(2);
        }
        // Every frame shown was sent, in the order sent.
        QFile log(dir.filePath("sim.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString sent = QString::fromLatin1(log.readAll());
        qsizetype at = 0;
        for (const QString& text : texts) {
            at = sent.indexOf(QStringLiteral("TX %1").arg(text), at);
            QVERIFY2(at >= 0, qPrintable(text));
        }
        // The loads came and went, so the picture moved.
        const auto [lo, hi] = std::minmax_element(weights.begin(), weights.end());
        QVERIFY(*hi - *lo > 1.0);
        double sum = 0;
        for (double w : weights)
            sum += w;
        const auto spoken = [&](const char* name) {
            return QAccessible::queryAccessibleInterface(trend->findChild<QWidget*>(name))
                ->text(QAccessible::Name);
        };
        const auto lb = [](double v) { return QString::number(v, 'f', 2) + QStringLiteral(" lb"); };
        QCOMPARE(spoken("LastLabel"), QStringLiteral("last ") + lb(weights.last()));
        QCOMPARE(spoken("MinLabel"), QStringLiteral("min ") + lb(*lo));
        QCOMPARE(spoken("MaxLabel"), QStringLiteral("max ") + lb(*hi));
        // The mean to its shown hundredth (a sum in another order may round the other way).
        const QString mean = spoken("MeanLabel");
        QVERIFY2(mean.startsWith("mean ") && mean.endsWith(" lb"), qPrintable(mean));
        QVERIFY2(std::abs(mean.mid(5).chopped(3).toDouble() - sum / weights.size()) <= 0.0051,
                 qPrintable(mean));
        QVERIFY(spoken("RecordingLabel").contains(QStringLiteral("%1 rows").arg(shown)));
    }
};

QTEST_MAIN(TrendSimTest)
#include "tst_trend_sim.moc"
