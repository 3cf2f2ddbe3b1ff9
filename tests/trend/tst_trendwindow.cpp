#include "../link/FrontPanelFixture.h"

#include "app/TrendWindow.h"
#include "trend/TrendFeed.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

using namespace kx;
using kx::test::FrontPanelFixture;

namespace {

// The window offscreen, fed by a front panel on a scripted port and the stepped clock.
struct TrendRig
{
    FrontPanelFixture fx;
    TrendFeed feed{fx.clock, *fx.panel};
    QString asked; // what the file dialog answers
    TrendWindow window{feed, nullptr, [this](const QString&, const QString&, const QString&) {
                           return asked;
                       }};

    TrendRig()
    {
        fx.connect();
        window.show();
    }
    void frames(const QList<double>& values, char status = '_', const QByteArray& mode = "GR")
    {
        for (double v : values) {
            fx.device->feed(FrontPanelFixture::frame(QByteArray::number(v, 'f', 2), status, "LB", mode));
            fx.clock.advance(100);
        }
    }
    QString spoken(const char* name) const
    {
        auto* w = window.findChild<QWidget*>(QString::fromLatin1(name));
        return w ? QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name) : QString();
    }
    // The non-empty lines drawn for gross (or net) weights.
    int lines(const QString& kind) const
    {
        int n = 0;
        for (QAbstractSeries* s : window.findChild<QChartView*>("TrendChart")->chart()->series())
            if (auto* line = qobject_cast<QLineSeries*>(s);
                line && !qobject_cast<QScatterSeries*>(s) && line->name() == kind && line->count() > 0)
                ++n;
        return n;
    }
};

} // namespace

class TrendWindowTest : public QObject
{
    Q_OBJECT

private slots:
    // After a known series the statistics read what a screen reader must say.
    void statisticsOfAKnownSeries()
    {
        TrendRig rig;
        rig.frames({12.40, 12.56, 12.50, 12.46}, ' ');
        rig.frames(QList<double>(6, 12.48), '_');
        rig.fx.clock.advance(TrendWindow::RefreshMs);
        QCOMPARE(rig.spoken("LastLabel"), QStringLiteral("last 12.48 lb"));
        QCOMPARE(rig.spoken("MinLabel"), QStringLiteral("min 12.40 lb"));
        QCOMPARE(rig.spoken("MaxLabel"), QStringLiteral("max 12.56 lb"));
        QCOMPARE(rig.spoken("MeanLabel"), QStringLiteral("mean 12.48 lb"));
        // Every weight with the indicator's own decimals, the spread too.
        QCOMPARE(rig.spoken("StdDevLabel"), QStringLiteral("std dev 0.04 lb"));
        QCOMPARE(rig.spoken("StableLabel"), QStringLiteral("stable for 0.5 s"));
        QVERIFY2(rig.spoken("SettledLabel").startsWith("settled "), qPrintable(rig.spoken("SettledLabel")));
        QCOMPARE(rig.window.findChild<QLabel*>("MeanLabel")->accessibleDescription(),
                 QStringLiteral("MeanLabel"));
        // Motion frames are marked apart from settled ones.
        auto* chart = rig.window.findChild<QChartView*>("TrendChart")->chart();
        for (QAbstractSeries* s : chart->series())
            if (auto* motion = qobject_cast<QScatterSeries*>(s))
                QCOMPARE(motion->count(), 4);

        // The frames stop (the line is lost): the last value says how old it is.
        rig.fx.clock.advance(3 * TrendWindow::RefreshMs);
        const QString last = rig.spoken("LastLabel");
        QVERIFY2(last.startsWith("last 12.48 lb (") && last.endsWith(" s ago)"), qPrintable(last));

        // The span chosen from the keyboard: ten minutes hold the same frames.
        auto* span = rig.window.findChild<QComboBox*>("TrendSpanBox");
        span->setFocus();
        QTest::keyClick(span, Qt::Key_Down);
        QCOMPARE(rig.window.span(), TrendSpan::TenMinutes);
        QCOMPARE(rig.spoken("TrendSpanBox"), QStringLiteral("10 min"));
        QCOMPARE(rig.spoken("MeanLabel"), QStringLiteral("mean 12.48 lb"));
        QCOMPARE(rig.spoken("MinLabel"), QStringLiteral("min 12.40 lb"));
    }

    // Silence leaves a gap, even where the face keeps a settled weight; a tare puts net apart
    // from gross.
    void gapAfterSilenceAndNetApart()
    {
        TrendRig rig;
        rig.frames(QList<double>(20, 5.00));
        rig.fx.clock.advance(5000);
        QCOMPARE(rig.fx.face().Weight, QStringLiteral("   5.00"));
        rig.frames(QList<double>(20, 5.02));
        rig.fx.clock.advance(TrendWindow::RefreshMs);
        QCOMPARE(rig.lines("gross"), 2);
        QCOMPARE(rig.lines("net"), 0);
        rig.frames(QList<double>(10, 0.00), '_', "NT");
        rig.fx.clock.advance(TrendWindow::RefreshMs);
        QCOMPARE(rig.lines("gross"), 2);
        QCOMPARE(rig.lines("net"), 1);
    }

    // Pause holds the picture; the recording goes on, and the window says how far it got.
    void pauseHoldsThePictureNotTheRecording()
    {
        TrendRig rig;
        QTemporaryDir dir;
        rig.asked = dir.filePath("weights.csv");
        rig.frames(QList<double>(5, 1.00));
        QTest::mouseClick(rig.window.findChild<QPushButton*>("RecordButton"), Qt::LeftButton);
        QCOMPARE(rig.spoken("RecordButton"), QStringLiteral("Stop recording"));
        QTest::mouseClick(rig.window.findChild<QPushButton*>("PauseButton"), Qt::LeftButton);
        QCOMPARE(rig.spoken("PauseButton"), QStringLiteral("Resume"));
        const QString before = rig.spoken("LastLabel");
        rig.frames(QList<double>(20, 2.00));
        rig.fx.clock.advance(TrendWindow::RefreshMs);
        QCOMPARE(rig.spoken("LastLabel"), before);
        QVERIFY2(rig.spoken("RecordingLabel").endsWith(": 20 rows"), qPrintable(rig.spoken("RecordingLabel")));
        QVERIFY(rig.spoken("RecordingLabel").contains("weights.csv"));
        QTest::mouseClick(rig.window.findChild<QPushButton*>("PauseButton"), Qt::LeftButton);
        QCOMPARE(rig.spoken("LastLabel"), QStringLiteral("last 2.00 lb"));
        QTest::mouseClick(rig.window.findChild<QPushButton*>("RecordButton"), Qt::LeftButton);
        QFile csv(rig.asked);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().trimmed().split('\n');
        QCOMPARE(rows.size(), 21);
        QVERIFY(rows.last().contains(",2.00,\"   2.00\",lb,false,true"));
    }

    void savesThePictureAsPng()
    {
        TrendRig rig;
        QTemporaryDir dir;
        rig.asked = dir.filePath("trend.png");
        rig.frames({1.0, 2.0, 3.0});
        QTest::mouseClick(rig.window.findChild<QPushButton*>("SavePictureButton"), Qt::LeftButton);
        const QImage image(rig.asked);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 600 && image.height() >= 300);
    }
};

QTEST_MAIN(TrendWindowTest)
#include "tst_trendwindow.moc"
