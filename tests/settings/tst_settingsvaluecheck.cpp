#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "settings/SettingsSchema.h"
#include "settings/SettingsValueCheck.h"
#include "transfer/DownloadRecords.h"
#include "transfer/RecordLayout.h"

#include <QtTest>

using namespace kx;

namespace {

// A settings file as the editor saves a new record, with one value set by hand.
QByteArray newFileWith(const char* sec, const QByteArray& key, const QByteArray& value)
{
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    if (sec)
        doc.writeString(sec, key, value);
    return doc.toBytes();
}

DownloadBuild build(const QByteArray& text)
{
    DownloadSource source;
    source.fileText = text;
    source.secondOutput = true;
    source.now = QDateTime(QDate(2026, 12, 11), QTime(9, 0));
    return buildDownloadRecords(source);
}

} // namespace

class TestSettingsValueCheck : public QObject
{
    Q_OBJECT

private slots:
    // Values the editor's controls would never let through, written into a file by hand.
    void refusedValues_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("why");
        const QByteArray cfg = section::Configuration, cal = section::Calibration,
                         bus = section::FieldBus, ma = section::FourTo20mA,
                         tkt = section::Ticket, fmt = section::TicketFormat,
                         out = section::CustomOutput, out2 = section::CustomOutput2;
        const QString notNumber = "is not a number";
        QTest::newRow("factor: letters") << cfg << QByteArray("Custom Factor") << QByteArray("abc") << notNumber;
        QTest::newRow("factor: empty") << cfg << QByteArray("Custom Factor") << QByteArray("") << notNumber;
        QTest::newRow("factor: exponent") << cfg << QByteArray("Custom Factor") << QByteArray("1e308") << notNumber;
        QTest::newRow("factor: a second =") << cfg << QByteArray("Custom Factor") << QByteArray("1.0=2") << notNumber;
        QTest::newRow("factor: negative") << cfg << QByteArray("Custom Factor") << QByteArray("-2") << "is below 0";
        QTest::newRow("capacity: letters") << cal << QByteArray("Scale Capacity") << QByteArray("abc") << notNumber;
        QTest::newRow("capacity: negative") << cal << QByteArray("Scale Capacity") << QByteArray("-5000") << "is below 0";
        QTest::newRow("capacity: 7 characters") << cal << QByteArray("Scale Capacity") << QByteArray("1000000") << "longer than its 6-character field";
        QTest::newRow("capacity: 1 MB") << cal << QByteArray("Scale Capacity") << QByteArray(1 << 20, '9') << "longer than its 6-character field (1048576";
        QTest::newRow("division: not in the list") << cal << QByteArray("Division Size") << QByteArray("x") << "is not an item of its list (0.0001,";
        QTest::newRow("division: a kg size with lb units") << cal << QByteArray("Division Size") << QByteArray("0.00005") << "is not an item of its list";
        QTest::newRow("time: no such choice") << cfg << QByteArray("Time") << QByteArray("9") << "is not one of its 2 choices";
        QTest::newRow("time: trailing letters") << cfg << QByteArray("Time") << QByteArray("1abc") << "is not one of its 2 choices";
        QTest::newRow("time: hexadecimal") << cfg << QByteArray("Time") << QByteArray("0x1") << "is not one of its 2 choices";
        QTest::newRow("baud: none chosen") << cfg << QByteArray("Com1 Baud") << QByteArray("-1") << "is not one of its 7 choices";
        QTest::newRow("unit flag: 2") << cfg << QByteArray("kg Units") << QByteArray("2") << "is neither 0 nor 1";
        QTest::newRow("network: yes") << bus << QByteArray("Network Type") << QByteArray("yes") << "is neither 0 nor 1";
        QTest::newRow("name: 9 characters") << cfg << QByteArray("Custom Name") << QByteArray("Barrels99") << "longer than its 8-character field (9";
        QTest::newRow("name: a double quote") << cfg << QByteArray("Custom Name") << QByteArray("Ba\"rels") << "holds a double quote";
        QTest::newRow("node address: letters") << bus << QByteArray("Node Address") << QByteArray("abc") << "is not a whole number from 0 to 999";
        QTest::newRow("node address: a comma") << bus << QByteArray("Node Address") << QByteArray("1,2") << "holds a comma";
        QTest::newRow("set point: negative") << ma << QByteArray("Setpoint1") << QByteArray("-1") << "is not a whole number from 0 to 999999";
        QTest::newRow("set point: a fraction") << ma << QByteArray("Setpoint2") << QByteArray("1.5") << "is not a whole number";
        QTest::newRow("low weight: below the floor") << ma << QByteArray("Low Weight") << QByteArray("-10000") << "is below -9999";
        QTest::newRow("char width: 0") << tkt << QByteArray("Char Width") << QByteArray("0") << "from 1 to 99";
        QTest::newRow("char width: 100") << tkt << QByteArray("Char Width") << QByteArray("100") << "from 1 to 99";
        QTest::newRow("ticket: row past 9999") << fmt << QByteArray("Time Row") << QByteArray("10000") << "is not a place on the ticket";
        QTest::newRow("ticket: plain field shown as 2") << fmt << QByteArray("Time Visible") << QByteArray("2") << "is not a number from 0 to 1";
        QTest::newRow("ticket: count field shown as 3") << fmt << QByteArray("Count Visible") << QByteArray("3") << "is not a number from 0 to 2";
        QTest::newRow("output: checksum 2") << out << QByteArray("Checksum") << QByteArray("2") << "is not one of its 2 choices";
        QTest::newRow("output: character code 300") << out << QByteArray("Poll Char Token") << QByteArray("300") << "is not a character code";
        QTest::newRow("output: a comma in a token") << out2 << QByteArray("Gross Token") << QByteArray("G,R") << "holds a comma";
        QTest::newRow("output: token too long") << out << QByteArray("Net Token") << QByteArray("NETWEIGHT") << "longer than its 8-character field";
        QTest::newRow("output: weight digits x") << out << QByteArray("Weight Digits") << QByteArray("x") << "is not one digit";
        QTest::newRow("output: polarity with a blank") << out << QByteArray("Include Polarity") << QByteArray(" 1") << "is neither 0 nor 1";
    }
    void refusedValues()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QString, why);
        const QByteArray text = newFileWith(section, key, value);
        const QStringList problems = settingsValueProblems(text);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].startsWith("line "), qPrintable(problems[0]));
        QVERIFY2(problems[0].contains(QString::fromLatin1(key + '=' + value.left(40))),
                 qPrintable(problems[0]));
        QVERIFY2(problems[0].contains(why), qPrintable(problems[0]));

        const SettingsFileCheck check = checkSettingsText(text, "/plant/line 3.dat");
        QVERIFY(!check.checked);
        // The file is named as the system writes paths (\plant\line 3.dat on Windows).
        QVERIFY(check.refusal.startsWith(QDir::toNativeSeparators("/plant/line 3.dat")
                                         + ": a value cannot be sent:\n"));
        QVERIFY(check.refusal.endsWith("\nNothing was sent."));
    }

    // What the editor saves, and the edges its controls allow, pass; and what passes builds.
    void passingFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        IniDocument fresh;
        writeSettings(fresh, newSettingsRecord());
        QTest::newRow("a new record") << fresh.toBytes();
        IniDocument defaults;
        writeSettings(defaults, defaultSettingsRecord());
        QTest::newRow("every default") << defaults.toBytes();
        QTest::newRow("only one key") << QByteArray("[Calibration]\r\nScale Capacity=100\r\n");
        QTest::newRow("capacity 0") << newFileWith(section::Calibration, "Scale Capacity", "0");
        QTest::newRow("low weight at the floor") << newFileWith(section::FourTo20mA, "Low Weight", "-9999");
        QTest::newRow("set point at the top") << newFileWith(section::FourTo20mA, "Setpoint1", "999999");
        QTest::newRow("lines/inch none chosen") << newFileWith(section::Ticket, "Lines/Inch", "-1");
        QTest::newRow("char width 99") << newFileWith(section::Ticket, "Char Width", "99");
        QTest::newRow("row 9999") << newFileWith(section::TicketFormat, "Time Row", "9999");
        QTest::newRow("a kg size with kg units")
            << newFileWith(section::Calibration, "Division Size", "0.00005")
                   .replace("Primary Units=0", "Primary Units=1");
        QTest::newRow("blanks around values") << QByteArray("[Configuration]\r\nTime = 1 \r\nCustom Name=  Barrels  \r\n");
        QTest::newRow("unknown keys and sections") << newFileWith(nullptr, {}, {}) + "[Site]\r\nOwner=Plant 3\r\nColour=blue\r\n";
        QTest::newRow("comments and a byte-order mark") << "\xEF\xBB\xBF; saved by hand\r\n" + fresh.toBytes();
    }
    void passingFiles()
    {
        QFETCH(QByteArray, text);
        const QStringList problems = settingsValueProblems(text);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        const SettingsFileCheck check = checkSettingsText(text, "x.dat");
        QVERIFY2(check.checked, qPrintable(check.refusal));
        QCOMPARE(check.checked->text, text);
        const DownloadBuild b = build(text);
        QVERIFY2(b.ok(), qPrintable(b.failures.join('\n')));
    }

    // The download sends a setting as the editor reads it: without the blanks around it, so a
    // name the editor shows as 7 characters goes as those 7.
    void sentAsTheEditorReadsIt()
    {
        const QByteArray text = newFileWith(section::Configuration, "Custom Name", "  Barrels  ");
        QVERIFY(settingsValueProblems(text).isEmpty());
        QCOMPARE(readSettings(IniDocument::fromBytes(text)).value("CustomName"), QByteArray("Barrels"));
        QVERIFY(build(text).records.contains(",\"Barrels\","));
    }

    // A key or a section given twice, or a setting outside its section (the download takes the
    // first of its name wherever it stands), is refused naming both lines.
    void givenTwice_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem");
        QTest::newRow("a key twice")
            << QByteArray("[Configuration]\r\nTime=1\r\nDisplay Rate=0\r\ntime=0\r\n")
            << "lines 2 and 4: the key time is given twice in [Configuration].";
        QTest::newRow("a section twice")
            << QByteArray("[Calibration]\r\nScale Capacity=1\r\n[Ticket]\r\nPrinter=0\r\n[calibration]\r\n")
            << "lines 1 and 5: the section [calibration] is given twice.";
        QTest::newRow("a setting in another section")
            << QByteArray("[Ticket]\r\nScale Capacity=9\r\n[Calibration]\r\nPrimary Units=0\r\n")
            << "line 2: Scale Capacity stands in [Ticket]; it belongs in [Calibration].";
        QTest::newRow("a setting before any section")
            << QByteArray("Time=1\n[Configuration]\nDisplay Rate=0\n")
            << "line 1: Time stands before any section; it belongs in [Configuration].";
        QTest::newRow("an output key twice")
            << QByteArray("[Custom Output 2]\r\nChecksum=0\r\nChecksum=1\r\n")
            << "lines 2 and 3: the key Checksum is given twice in [Custom Output 2].";
    }
    void givenTwice()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        QCOMPARE(settingsValueProblems(text), QStringList{problem});
    }

    // Every character a record cannot carry in a text field is refused by the check, so
    // nothing the check passes can break its record.
    void breakingCharactersRefused()
    {
        for (const SettingDesc& d : settingsTable()) {
            for (const char c : breakingCharacters(d.key)) {
                if (c == '\r' || c == '\n')
                    continue; // a line end ends the line: no value holds one
                const QByteArray text = newFileWith(d.section, d.key, QByteArray("1") + c);
                QVERIFY2(!settingsValueProblems(text).isEmpty(), d.key);
            }
        }
        for (const OutputKeyDesc& k : outputKeys()) {
            for (const char c : breakingCharacters(k.key)) {
                if (c == '\r' || c == '\n')
                    continue;
                const QByteArray text = newFileWith(section::CustomOutput, k.key, QByteArray("1") + c);
                QVERIFY2(!settingsValueProblems(text).isEmpty(), k.key);
            }
        }
    }

    // A file no settings file is: refused before its values are looked at, with the same end.
    void notASettingsFile()
    {
        for (const QByteArray& bytes : {QByteArray(), QByteArray("\0\1\2", 3), QByteArray("plain text\n")}) {
            const SettingsFileCheck check = checkSettingsText(bytes, "f.dat");
            QVERIFY(!check.checked);
            QVERIFY(check.refusal.startsWith("f.dat: "));
            QVERIFY(check.refusal.endsWith("\nNothing was sent."));
        }
        const SettingsFileCheck missing = readCheckedSettings("/nonexistent/kx.dat");
        QVERIFY(!missing.checked);
        QVERIFY(missing.refusal.endsWith("\nNothing was sent."));
    }

    // Many bad values are listed up to a bound, then counted.
    void manyProblemsSummed()
    {
        QByteArray text = "[Configuration]\r\n";
        for (int i = 0; i < 30; ++i)
            text += "Time=" + QByteArray::number(i + 5) + "\r\n";
        const SettingsFileCheck check = checkSettingsText(text, "f.dat");
        QVERIFY(check.refusal.contains("these values cannot be sent"));
        QVERIFY2(check.refusal.contains("... and 10 more."), qPrintable(check.refusal));
    }
};

QTEST_GUILESS_MAIN(TestSettingsValueCheck)
#include "tst_settingsvaluecheck.moc"
