// The compare window's logic: what differs between the editor's file and the indicator's
// setup, and the setup "Send checked" builds from them.
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "settings/SetupComparison.h"

#include <QtTest>

using namespace kx;

namespace {

using Values = QList<std::pair<QByteArray, QByteArray>>; // "Section/Key" -> value

QByteArray fileWith(const Values& values, const QList<QByteArray>& erased = {})
{
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    for (const auto& [where, value] : values) {
        const auto parts = where.split('/');
        doc.writeString(parts[0], parts[1], value);
    }
    for (const QByteArray& where : erased) {
        const auto parts = where.split('/');
        doc.eraseKey(parts[0], parts[1]);
    }
    return doc.toBytes();
}

DiffScope carried()
{
    DiffScope scope;
    scope.carriedOnly = true;
    return scope;
}

QStringList differing(const QByteArray& a, const QByteArray& b)
{
    QStringList out;
    for (const SettingDifference& d :
         diffSettings(readSettings(IniDocument::fromBytes(a)),
                      readSettings(IniDocument::fromBytes(b)), carried()))
        out << d.section + QLatin1Char('/') + d.key;
    out.sort();
    return out;
}

} // namespace

class TestSetupComparison : public QObject
{
    Q_OBJECT

private slots:
    // Three settings differ, shown as the editor shows them; all are chosen at first, and an
    // equal one cannot be.
    void rowsAndChoices()
    {
        const QByteArray indicator = fileWith({});
        const QByteArray editor = fileWith({{"Configuration/Time", "0"},
                                            {"Calibration/Scale Capacity", "6000"},
                                            {"Configuration/Display Rate", "2"}});
        SetupComparison c(editor, indicator, carried());
        QCOMPARE(c.differing(), 3);
        QCOMPARE(c.chosenCount(), 3);
        QCOMPARE(c.settings().size(),
                 settingsCompared(readSettings(IniDocument::fromBytes(editor)), carried()));
        QStringList shown;
        int equal = -1;
        for (int i = 0; i < c.settings().size(); ++i) {
            const ComparedSetting& s = c.settings()[i];
            if (s.differs)
                shown << QStringLiteral("%1: %2 | %3")
                             .arg(s.values.key, s.values.first, s.values.second);
            else if (equal < 0)
                equal = i;
        }
        // List choices by their text, not their index.
        QCOMPARE(shown, (QStringList{"Time: 24 hour | 12hr AM/PM", "Display Rate: 0.8 | 0.4",
                                     "Scale Capacity: 6000 | 5000"}));
        c.setChosen(equal, true);
        QCOMPARE(c.chosenCount(), 3);
        c.setChosen(0, false);
        QCOMPARE(c.chosenCount(), 2);
        QCOMPARE(c.chosenSettings().size(), 2);
    }

    // The merged setup holds the editor's value exactly where a row is checked and the
    // indicator's everywhere else, and passes the download's check.
    void mergedSetup_data()
    {
        QTest::addColumn<QByteArray>("editor");
        QTest::addColumn<QStringList>("unchecked");
        const QByteArray three = fileWith({{"Configuration/Time", "0"},
                                           {"Calibration/Scale Capacity", "6000"},
                                           {"Configuration/Display Rate", "2"}});
        QTest::newRow("all checked") << three << QStringList{};
        QTest::newRow("one unchecked") << three << QStringList{"Configuration/Time"};
        QTest::newRow("none checked")
            << three
            << QStringList{"Configuration/Time", "Calibration/Scale Capacity",
                           "Configuration/Display Rate"};
        // A key the editor's file lacks reads as its default there: the merged setup must
        // read the same, not keep the indicator's value.
        QTest::newRow("key missing in the editor's file")
            << fileWith({{"Configuration/Time", "0"}}, {"Calibration/Scale Capacity"})
            << QStringList{};
        QTest::newRow("a ticket field and a custom output key")
            << fileWith({{"Ticket Format/Time Row", "7"}, {"Custom Output/Checksum", "1"}})
            << QStringList{};
    }
    void mergedSetup()
    {
        QFETCH(QByteArray, editor);
        QFETCH(QStringList, unchecked);
        const QByteArray indicator = fileWith({{"Calibration/Scale Capacity", "5000"}});
        SetupComparison c(editor, indicator, carried());
        QVERIFY(c.differing() > 0);
        QStringList checked;
        for (int i = 0; i < c.settings().size(); ++i) {
            const SettingDifference& v = c.settings()[i].values;
            const QString name = v.section + QLatin1Char('/') + v.key;
            if (unchecked.contains(name))
                c.setChosen(i, false);
            else if (c.settings()[i].differs)
                checked << name;
        }
        checked.sort();
        unchecked.sort();
        const SettingsFileCheck merged = c.mergedSetup(QStringLiteral("merged"));
        QVERIFY2(merged.checked, qPrintable(merged.refusal));
        QCOMPARE(merged.checked->path, QStringLiteral("merged"));
        // Changed on the indicator: exactly the checked rows; still apart from the editor:
        // exactly the unchecked ones.
        QCOMPARE(differing(indicator, merged.checked->text), checked);
        QCOMPARE(differing(editor, merged.checked->text), unchecked);
    }
};

QTEST_GUILESS_MAIN(TestSetupComparison)
#include "tst_setupcomparison.moc"
