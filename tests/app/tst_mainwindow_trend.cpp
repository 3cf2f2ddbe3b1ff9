#include "FakeSerialDevice.h"
#include "app/FaceWidgets.h"
#include "app/TMainForm.h"
#include "app/TrendPlot.h"
#include "app/TrendWindow.h"
#include "link/QtClock.h"

#include <QComboBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

// The trend as the face opens it: part of the program, made when first asked for, kept
// when closed.
class MainWindowTrendTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void ctrlTOpensTheTrendAndKeepsItWhenClosed()
    {
        TMainForm form(dir.path(), QtClock::instance(), std::make_unique<test::FakeSerialDevice>());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The start leaves it out.
        QCOMPARE(form.trendWindow(), nullptr);

        QTest::keyClick(&form, Qt::Key_T, Qt::ControlModifier);
        auto* trend = qobject_cast<TrendWindow*>(form.trendWindow());
        QVERIFY(trend);
        QVERIFY(trend->isVisible() && trend->isWindow());
        auto* plot = trend->findChild<TrendPlot*>(QStringLiteral("TrendChart"));
        QVERIFY(plot && plot->isVisible());
        QCOMPARE(plot->accessibleName(), QStringLiteral("Weight trend"));
        QCOMPARE(plot->accessibleDescription(), QStringLiteral("TrendChart"));

        // Closed on the hour's span, opened again from the bottom bar: the same window as left.
        auto* span = trend->findChild<QComboBox*>(QStringLiteral("TrendSpanBox"));
        span->setFocus();
        QTest::keyClick(span, Qt::Key_Down);
        QTest::keyClick(span, Qt::Key_Down);
        QCOMPARE(trend->span(), TrendSpan::OneHour);
        trend->close();
        QVERIFY(!trend->isVisible());
        auto* button = form.findChild<ClickLabel*>(QStringLiteral("TrendButton"));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(form.trendWindow(), trend);
        QVERIFY(trend->isVisible());
        QCOMPARE(trend->span(), TrendSpan::OneHour);
        trend->close();
        QTest::keyClick(&form, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(form.trendWindow(), trend);
        QVERIFY(trend->isVisible());
    }
};

QTEST_MAIN(MainWindowTrendTest)
#include "tst_mainwindow_trend.moc"
