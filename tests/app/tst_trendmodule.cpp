#include "../link/FrontPanelFixture.h"

#include "app/TrendModule.h"
#include "trend/TrendFeed.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;
using kx::test::FrontPanelFixture;

// The trend module as the program finds it beside itself when Ctrl+T first asks for the
// window. This test does not link the module: what it gets, it gets by loading it.
class TrendModuleTest : public QObject
{
    Q_OBJECT

private slots:
    void makesTheTrendWindowFromTheModule()
    {
        FrontPanelFixture fx;
        TrendFeed feed{fx.clock, *fx.panel};
        QWidget face;
        QString why;
        QWidget* window = TrendModule(KX_PROGRAM_DIR).newWindow(feed, &face, &why);
        QVERIFY2(window, qPrintable(why));
        QCOMPARE(window->parent(), &face);
        QCOMPARE(window->metaObject()->className(), "kx::TrendWindow");
        QVERIFY(window->isWindow());
        QVERIFY(window->findChild<QWidget*>("TrendChart"));
        // A second window from the module already loaded, for a second face.
        QWidget otherFace;
        QVERIFY2(TrendModule(KX_PROGRAM_DIR).newWindow(feed, &otherFace, &why),
                 qPrintable(why));
    }

    void aMissingOrForeignModuleGivesAReason_data()
    {
        QTest::addColumn<QString>("source"); // what lies in the module's place; empty: nothing
        QTest::addColumn<QString>("said");   // a part of the reason given
        QTest::newRow("missing") << QString() << "kxlink-trend.so is missing";
        QTest::newRow("empty file") << "empty" << "kxlink-trend.so cannot be loaded";
        QTest::newRow("not a library") << "text" << "kxlink-trend.so cannot be loaded";
        QTest::newRow("another library") << QStringLiteral(KX_STUB_MODULE) << "kxNewTrendWindow";
    }
    void aMissingOrForeignModuleGivesAReason()
    {
        QFETCH(QString, source);
        QFETCH(QString, said);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("modules")));
        const QString place = folder.filePath(QStringLiteral("modules/kxlink-trend.so"));
        if (source == "empty" || source == "text") {
            QFile file(place);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (source == "text")
                file.write("not a shared library\n");
        } else if (!source.isEmpty()) {
            QVERIFY(QFile::copy(source, place));
        }
        FrontPanelFixture fx;
        TrendFeed feed{fx.clock, *fx.panel};
        QWidget face;
        QString why;
        QCOMPARE(TrendModule(folder.path()).newWindow(feed, &face, &why), nullptr);
        QVERIFY2(why.contains(said), qPrintable(why));
        QVERIFY(face.children().isEmpty());
    }
};

QTEST_MAIN(TrendModuleTest)
#include "tst_trendmodule.moc"
