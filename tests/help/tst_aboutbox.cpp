#include "FakeDialogs.h"

#include "help/AboutText.h"
#include "help/ManualLauncher.h"
#include "help/THelpAboutForm.h"
#include "help/VersionInfo.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kx;

namespace {

const QString ProgramFile = QStringLiteral("/opt/kx link/kxlink");

// Version data whose lookups fail from the named string on.
class FailingVersionInfo : public TableVersionInfo
{
public:
    FailingVersionInfo(QList<VersionEntry> table, QString failAt)
        : TableVersionInfo(std::move(table)), failAt_(std::move(failAt))
    {
    }
    Value query(const QString& path) const override
    {
        if (path.endsWith(failAt_))
            return {Value::Status::Failed, {}};
        return TableVersionInfo::query(path);
    }

private:
    QString failAt_;
};

QStringList linesOf(const QPlainTextEdit* memo)
{
    return memo->toPlainText().split(QLatin1Char('\n'));
}

} // namespace

// The about box lists the program's version data beside its ten labels.
class AboutBoxTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<ManualLauncher> launcher;
    QList<std::pair<QString, QStringList>> started;
    bool startSucceeds = true;

    std::unique_ptr<THelpAboutForm> makeForm(const VersionInfo& info)
    {
        auto form = std::make_unique<THelpAboutForm>(info, *launcher, &dialogs);
        form->setProgramFile(ProgramFile);
        return form;
    }

private slots:
    void init()
    {
        dialogs = FakeDialogs();
        started.clear();
        startSucceeds = true;
        QFile reader(dir.filePath("reader"));
        QVERIFY(reader.open(QIODevice::WriteOnly));
        launcher = std::make_unique<ManualLauncher>(
            ManualLauncher::Places{dir.filePath("shared"), dir.path(), dir.filePath("60387.PDF"),
                                   dir.filePath("reader")},
            [this](const QString& program, const QStringList& args) {
                started.append({program, args});
                return startSucceeds;
            });
    }

    void showingTwiceListsTheBuiltInDataOnce()
    {
        auto form = makeForm(builtInVersionInfo());
        form->show();
        form->hide();
        form->show();
        const QStringList expected = {QStringLiteral("Morvell Scales"),
                                      QStringLiteral("KXLINK"),
                                      QStringLiteral("3.0.0.1"),
                                      QString(),
                                      QString(),
                                      QString(),
                                      QString(),
                                      ProgramFile,
                                      QStringLiteral("10.17.12"),
                                      QStringLiteral("PC Utility for the KX7400")};
        QCOMPARE(linesOf(form->ValuesMemo), expected);
        QCOMPARE(linesOf(form->LabelsMemo), aboutLabels());
        QCOMPARE(aboutLabels().size(), 10);
        QCOMPARE(form->windowTitle(), QStringLiteral("KXDUAL Help About"));
    }

    void productNameStandsForTheProgramFileOnlyWhenEmpty_data()
    {
        QTest::addColumn<QList<VersionEntry>>("table");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QList<VersionEntry>{{"ProductName", ""}} << ProgramFile;
        QTest::newRow("missing") << QList<VersionEntry>{{"CompanyName", "X"}} << ProgramFile;
        QTest::newRow("given") << QList<VersionEntry>{{"ProductName", "Scale Link"}}
                               << QStringLiteral("Scale Link");
        // The lookup ignores case, so other labels' spellings still find their strings.
        QTest::newRow("other case")
            << QList<VersionEntry>{{"productname", "Scale Link"}} << QStringLiteral("Scale Link");
    }
    void productNameStandsForTheProgramFileOnlyWhenEmpty()
    {
        QFETCH(QList<VersionEntry>, table);
        QFETCH(QString, shown);
        const TableVersionInfo info(table);
        auto form = makeForm(info);
        form->show();
        const QStringList lines = linesOf(form->ValuesMemo);
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines.at(7), shown);
        for (int i = 0; i < 10; ++i) {
            if (i != 7 && i != 0)
                QVERIFY2(lines.at(i).isEmpty(), qPrintable(aboutLabels().at(i)));
        }
    }

    void labelSpellingsFindTheTableStrings()
    {
        const TableVersionInfo info(
            {{"LegalTrademarks", "TM"}, {"OriginalFilename", "kxlink"}, {"InternalName", "KX"}});
        auto form = makeForm(info);
        form->show();
        const QStringList lines = linesOf(form->ValuesMemo);
        QCOMPARE(lines.at(3), QStringLiteral("KX"));
        QCOMPARE(lines.at(5), QStringLiteral("TM"));
        QCOMPARE(lines.at(6), QStringLiteral("kxlink"));
    }

    void withoutVersionDataTheColumnStaysAsItWas()
    {
        const TableVersionInfo none;
        auto form = makeForm(none);
        form->ValuesMemo->setPlainText(QStringLiteral("earlier\nlines"));
        form->show();
        QCOMPARE(form->ValuesMemo->toPlainText(), QStringLiteral("earlier\nlines"));
    }

    void aFailingLookupKeepsTheLinesBeforeIt()
    {
        const FailingVersionInfo info(builtInVersionTable(), QStringLiteral("InternalName"));
        auto form = makeForm(info);
        form->ValuesMemo->setPlainText(QStringLiteral("earlier"));
        form->show();
        QCOMPARE(linesOf(form->ValuesMemo), (QStringList{"Morvell Scales", "KXLINK", "3.0.0.1"}));
    }

    void controlsCarryTheirNamesAndTexts()
    {
        auto form = makeForm(builtInVersionInfo());
        QCOMPARE(form->OpButton->objectName(), QStringLiteral("OpButton"));
        QCOMPARE(form->OpButton->accessibleDescription(), QStringLiteral("OpButton"));
        QCOMPARE(form->OpButton->text(), QStringLiteral("&Operators Manual"));
        QCOMPARE(form->OpButton->accessibleName(), QStringLiteral("Operators Manual"));
        QCOMPARE(form->CloseButton->text(), QStringLiteral("&Close"));
        QCOMPARE(form->CloseButton->accessibleName(), QStringLiteral("Close"));
        form->show();
        QCOMPARE(form->ValuesMemo->accessibleName(), form->ValuesMemo->toPlainText());
        QCOMPARE(form->LabelsMemo->width(), 138);
        QCOMPARE(form->LabelsMemo->geometry().top(), form->ValuesMemo->geometry().top());
    }

    void operatorsManualStartsTheReaderAndCloseCloses()
    {
        auto form = makeForm(builtInVersionInfo());
        form->show();
        startSucceeds = false;
        form->OpButton->click();
        QCOMPARE(started.size(), 1);
        QCOMPARE(started.at(0).first, dir.filePath("reader"));
        QCOMPARE(started.at(0).second, QStringList{dir.filePath("60387.PDF")});
        QCOMPARE(dialogs.told.size(), 1);
        QCOMPARE(dialogs.told.at(0).caption, QStringLiteral("FAILURE"));
        form->CloseButton->click();
        QVERIFY(!form->isVisible());
    }

    void mainWindowCaptionComesFromTheVersionData()
    {
        QCOMPARE(mainWindowCaption(builtInVersionInfo()),
                 QStringLiteral("KXLINK Utility Version 3.0.0.1"));
    }
};

QTEST_MAIN(AboutBoxTest)
#include "tst_aboutbox.moc"
