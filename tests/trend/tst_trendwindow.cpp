#include "../link/FrontPanelFixture.h"

#include "app/TrendPlot.h"
#include "app/TrendWindow.h"
#include "trend/TrendFeed.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

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
    TrendPlot* plot() const { return window.findChild<TrendPlot*>("TrendChart"); }
    // The unbroken lines drawn for gross (or net) weights.
    int lines(bool net) const
    {
        int n = 0;
        for (const TrendPlot::Stretch& s : plot()->stretches())
            n += s.net == net && !s.points.isEmpty() ? 1 : 0;
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
        QCOMPARE(rig.plot()->motionDots().size(), 4);

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
        QCOMPARE(rig.lines(false), 2);
        QCOMPARE(rig.lines(true), 0);
        rig.frames(QList<double>(10, 0.00), '_', "NT");
        rig.fx.clock.advance(TrendWindow::RefreshMs);
        QCOMPARE(rig.lines(false), 2);
        QCOMPARE(rig.lines(true), 1);
    }

    // The picture: a rising gross load and a flat net weight land where their values and
    // times say, inside the frame, under round ticks of both axes.
    void thePlotDrawsTheSeriesWithinItsFrame()
    {
        TrendRig rig;
        rig.fx.clock.setDateTime(QDateTime(QDate(2024, 3, 9), QTime(15, 5, 3, 700)));
        QList<double> ramp;
        for (int i = 0; i < 30; ++i)
            ramp << i;
        rig.frames(ramp, ' ');
        rig.frames(QList<double>(20, 5.00), '_', "NT");
        rig.window.refresh();
        TrendPlot* plot = rig.plot();
        const QRectF frame(plot->plotFrame());
        QVERIFY(frame.width() > 400 && frame.height() > 150);

        QCOMPARE(plot->stretches().size(), std::size_t(2));
        const QPolygonF gross = plot->stretches().front().points;
        const QPolygonF net = plot->stretches().back().points;
        QCOMPARE(gross.size() + net.size(), 50);
        for (const QPolygonF& line : {gross, net})
            for (const QPointF& p : line)
                QVERIFY2(frame.contains(p),
                         qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
        // Up the screen as the weight rises, on in time, the newest frame at the right edge.
        for (qsizetype i = 1; i < gross.size(); ++i) {
            QVERIFY(gross[i].x() > gross[i - 1].x());
            QVERIFY(gross[i].y() < gross[i - 1].y());
        }
        QVERIFY(net.last().x() >= frame.right() - 3);
        QVERIFY(net.first().x() > gross.last().x());
        // 0 and 5 on the weight axis, ticks at -10, 0, 10 ...: 5 lies halfway between two.
        QCOMPARE(plot->weightLabels(),
                 QStringList({"-10.00", "0.00", "10.00", "20.00", "30.00", "40.00"}));
        const double per = frame.height() / 50.0;
        QVERIFY(std::abs(gross.first().y() - (frame.bottom() - 10 * per)) < 2);
        QVERIFY(std::abs(net.first().y() - (frame.bottom() - 15 * per)) < 2);

        // Every ten seconds on the clock for the minute.
        const QStringList times = plot->timeLabels();
        QVERIFY2(times.size() >= 5 && times.size() <= 7, qPrintable(times.join(' ')));
        for (qsizetype i = 0; i < times.size(); ++i) {
            const QTime t = QTime::fromString(times[i], QStringLiteral("hh:mm:ss"));
            QVERIFY2(t.isValid() && t.second() % 10 == 0, qPrintable(times[i]));
            if (i > 0)
                QCOMPARE(QTime::fromString(times[i - 1], QStringLiteral("hh:mm:ss")).secsTo(t), 10);
        }
        const QTime end = rig.fx.clock.localDateTime().time();
        QCOMPARE(times.last(),
                 QTime(end.hour(), end.minute(), end.second() / 10 * 10).toString("hh:mm:ss"));

        // On the screen: the net line's colour where the line is, none of the lines' colours
        // beside or under the frame.
        const QImage image = plot->grab().toImage();
        // Tinted like a line: its strongest channel the line colour's, clearly (an
        // antialiased line mixes its colour with the white under it).
        auto tinted = [](QColor c, QColor line) {
            auto strongest = [](QColor x) {
                const int v[] = {x.red(), x.green(), x.blue()};
                const int i = int(std::max_element(v, v + 3) - v);
                int next = 0;
                for (int k = 0; k < 3; ++k)
                    next = k == i ? next : std::max(next, v[k]);
                return std::pair(i, v[i] - next);
            };
            const auto [channel, margin] = strongest(c);
            return channel == strongest(line).first && margin >= 20;
        };
        const QColor netColour(0x1a, 0x8a, 0x3a);
        const QColor grossColour(0x1f, 0x5f, 0xbf);
        const QPointF mid = net[net.size() / 2];
        bool onLine = false;
        for (int dy = -1; dy <= 2; ++dy)
            onLine = onLine || tinted(image.pixelColor(int(mid.x()), int(mid.y()) + dy), netColour);
        QVERIFY(onLine);
        int outside = 0;
        for (int y = int(frame.top()); y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!frame.contains(QPointF(x, y)) && (tinted(image.pixelColor(x, y), netColour) ||
                                                        tinted(image.pixelColor(x, y), grossColour)))
                    ++outside;
        QCOMPARE(outside, 0);

        // An hour: the labels fall on round ten minutes.
        rig.window.setSpan(TrendSpan::OneHour);
        for (const QString& label : plot->timeLabels())
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:[0-5]0$")).match(label).hasMatch(),
                     qPrintable(label));
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
