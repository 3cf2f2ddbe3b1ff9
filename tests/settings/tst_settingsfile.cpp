#include "settings/SettingsFile.h"

#include <QtTest>

using namespace kx;

namespace {

const char* const kGoldenDefinition = "Stream Format=<A><B><C><G><T>\r\n"
                                      "Checksum=0\r\n"
                                      "Delimited=0\r\n"
                                      "Hardware Handshaking=0\r\n"
                                      "Weight Digits=6\r\n"
                                      "Leading Zeroes=0\r\n"
                                      "Include Polarity=0\r\n"
                                      "Decimal Point=0\r\n"
                                      "Fixed Decimal Places=0\r\n"
                                      "Justify=1\r\n"
                                      "Positive Polarity Token=0\r\n"
                                      "Negative Polarity Token=0\r\n"
                                      "Poll Token=4\r\n"
                                      "Poll String=W<D>\r\n"
                                      "Poll Char Token=13\r\n"
                                      "Start Token=2\r\n"
                                      "Start Char Token=2\r\n"
                                      "Stop Token=3\r\n"
                                      "Stop Char Token=13\r\n"
                                      "Block Token=0\r\n"
                                      "Block Char Token=0\r\n"
                                      "Primary Units Token=lb\r\n"
                                      "Secondary Units Token=kg\r\n"
                                      "Motion Token=M\r\n"
                                      "Out of Range Token=O\r\n"
                                      "Gross Token=GR\r\n"
                                      "Tare Token=TA\r\n"
                                      "Net Token=NT\r\n"
                                      "OK Token= \r\n"
                                      "Invalid Token=I\r\n";

// A new record written into an empty file, spelled out from the key tables by hand.
QByteArray goldenNewRecordFile()
{
    QByteArray g = "[Configuration]\r\n"
                   "Time=1\r\nDisplay Rate=1\r\nZero Range=0\r\nSleep Mode=0\r\nBacklight=2\r\n"
                   "Time In Seconds=2\r\nOperating Mode=0\r\n"
                   "lb Units=1\r\nkg Units=1\r\ngm Units=0\r\noz Units=0\r\nlb-oz Units=0\r\n"
                   "Custom Units=0\r\nCustom Name=Barrels\r\nCustom Factor=1.0\r\n"
                   "Custom Resolution=1.0\r\n"
                   "Com1 Interface=1\r\nCom1 Mode=1\r\nCom1 Baud=2\r\nCom1 Parity=0\r\n"
                   "Com1 StopBits=0\r\nCom1 DataBits=1\r\n"
                   "Com2 Interface=0\r\nCom2 Mode=0\r\nCom2 Baud=2\r\nCom2 Parity=0\r\n"
                   "Com2 StopBits=1\r\nCom2 DataBits=1\r\n"
                   "[Calibration]\r\n"
                   "Scale Capacity=5000\r\nPrimary Units=0\r\nAuto Zero Tracking=3\r\n"
                   "Motion Band=3\r\nDivision Size=1.0\r\nDigital Filter=0\r\nAuto Tare Mode=1\r\n"
                   "[FieldBus]\r\n"
                   "Node Address=1\r\nBus Baud Rate=0\r\nBus Data Type=0\r\nBus Endian=0\r\n"
                   "Network Type=0\r\n"
                   "[4to20ma]\r\n"
                   "420 Enabled=0\r\nLow Weight=0\r\nHigh Weight=5000\r\n420 Mode=0\r\n"
                   "Setpoint1=0\r\nSetpoint2=0\r\n"
                   "[Ticket Format]\r\n"
                   "Time Visible=1\r\nTime Row=10\r\nTime Col=8\r\n"
                   "Date Visible=1\r\nDate Row=12\r\nDate Col=8\r\n"
                   "Gross Visible=1\r\nGross Row=14\r\nGross Col=8\r\n"
                   "Tare Visible=1\r\nTare Row=16\r\nTare Col=8\r\n"
                   "Net Visible=1\r\nNet Row=18\r\nNet Col=8\r\n"
                   "Count Visible=0\r\nCount Row=20\r\nCount Col=8\r\n"
                   "Accum Visible=0\r\nAccum Row=22\r\nAccum Col=8\r\n"
                   "Peak Visible=0\r\nPeak Row=24\r\nPeak Col=8\r\n"
                   "GR Acc Visible=0\r\nGR Acc Row=26\r\nGR Acc Col=8\r\n"
                   "NT Acc Visible=0\r\nNT Acc Row=28\r\nNT Acc Col=8\r\n"
                   "ID Visible=0\r\nID Row=30\r\nID Col=8\r\n"
                   "[Ticket]\r\n"
                   "Printer=0\r\nLines/Inch=0\r\nChar Width=12\r\nInhibit=0\r\n"
                   "[Page Size]\r\n"
                   "Height=6.0\r\nWidth=3.0\r\nTop Margin=1.375\r\nLeft Margin=0.125\r\n"
                   "Bottom Margin=0.0\r\nRight Margin=0.125\r\n";
    g += "[Custom Output]\r\n";
    g += kGoldenDefinition;
    g += "[Custom Output 2]\r\n";
    g += kGoldenDefinition;
    return g;
}

SettingsRecord read(const QByteArray& file)
{
    return readSettings(IniDocument::fromBytes(file));
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void newRecordSavedIntoEmptyFileIsGolden();
    void goldenFileReadsBackAsNewRecord();
    void fileWithOnlyCom1BaudReadsDefaultsElsewhere();
    void readValue_data();
    void readValue();
    void divisionFollowsPrimaryUnits_data();
    void divisionFollowsPrimaryUnits();
    void missingSecondOutputCopiesFirst();
    void saveRules_data();
    void saveRules();
    void oddValuesSurviveLoadAndSave_data();
    void oddValuesSurviveLoadAndSave();
    void noCustomOutputSectionsWritesTextKeysOnly();
    void outputKeyRules_data();
    void outputKeyRules();
    void saveIntoHandEditedFileKeepsItsShape();
    void byteOrderMarkIsKeptAndHidesNothing();
};

void TestSettingsFile::newRecordSavedIntoEmptyFileIsGolden()
{
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    QCOMPARE(doc.toBytes(), goldenNewRecordFile());
}

void TestSettingsFile::goldenFileReadsBackAsNewRecord()
{
    QCOMPARE(read(goldenNewRecordFile()), newSettingsRecord());
}

void TestSettingsFile::fileWithOnlyCom1BaudReadsDefaultsElsewhere()
{
    const SettingsRecord r = read("[Configuration]\r\nCom1 Baud=6\r\n");
    QCOMPARE(r.value("Com1Baud"), QByteArray("6"));
    QCOMPARE(r.value("Com1Parity"), QByteArray("2"));   // Even
    QCOMPARE(r.value("Com1StopBits"), QByteArray("1")); // 2 stop bits
    QCOMPARE(r.value("RadioLB"), QByteArray("1"));
    QCOMPARE(r.value("RadioKG"), QByteArray("0"));

    SettingsRecord expected = defaultSettingsRecord();
    expected.setValue("Com1Baud", "6");
    QCOMPARE(r, expected);
    QVERIFY(r.tempCom1.isEmpty());
    QVERIFY(r.tempCom2.isEmpty());
}

void TestSettingsFile::readValue_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("hex index") << QByteArray("[Configuration]\r\nSleep Mode=0x1F\r\n")
                               << QByteArray("SleepMode") << QByteArray("31");
    QTest::newRow("index not a number takes the default")
        << QByteArray("[Configuration]\r\nCom2 Baud=fast\r\n") << QByteArray("Com2Baud")
        << QByteArray("3");
    QTest::newRow("index outside the list kept") << QByteArray("[Ticket]\r\nLines/Inch=7\r\n")
                                                 << QByteArray("LinesPerInch") << QByteArray("7");
    QTest::newRow("any non-zero flag is on") << QByteArray("[Configuration]\r\ngm Units=2\r\n")
                                             << QByteArray("RadioGM") << QByteArray("1");
    QTest::newRow("flag that is no number takes the default")
        << QByteArray("[Configuration]\r\nlb Units=no\r\n") << QByteArray("RadioLB")
        << QByteArray("1");
    QTest::newRow("network type non-zero is Ethernet")
        << QByteArray("[FieldBus]\r\nNetwork Type=5\r\n") << QByteArray("NEEthernet")
        << QByteArray("1");
    QTest::newRow("item text not in the list kept as read")
        << QByteArray("[Configuration]\r\nCustom Resolution=1\r\n")
        << QByteArray("CustomResolution") << QByteArray("1");
    QTest::newRow("char width shown as decimal") << QByteArray("[Ticket]\r\nChar Width=0x0C\r\n")
                                                 << QByteArray("CharWidth") << QByteArray("12");
    QTest::newRow("text as read, names ignore case")
        << QByteArray("[page size]\r\nheight=5.5\r\n") << QByteArray("EditHeight")
        << QByteArray("5.5");
    QTest::newRow("text is not checked on reading") << QByteArray("[4to20ma]\r\nSetpoint1=1.5\r\n")
                                                    << QByteArray("Setpoint1") << QByteArray("1.5");
    QTest::newRow("missing text default")
        << QByteArray() << QByteArray("CustomFactor") << QByteArray("0.0");
}

void TestSettingsFile::readValue()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, control);
    QFETCH(QByteArray, value);
    QCOMPARE(read(file).value(control), value);
}

void TestSettingsFile::divisionFollowsPrimaryUnits_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("item");

    QTest::newRow("kg 0.5 is item 12")
        << QByteArray("[Calibration]\r\nPrimary Units=1\r\nDivision Size=0.5\r\n") << 12;
    QTest::newRow("lb 0.5 is item 11")
        << QByteArray("[Calibration]\r\nPrimary Units=0\r\nDivision Size=0.5\r\n") << 11;
    QTest::newRow("unknown unit uses lb")
        << QByteArray("[Calibration]\r\nPrimary Units=9\r\nDivision Size=0.5\r\n") << 11;
    QTest::newRow("g has no 0.0001")
        << QByteArray("[Calibration]\r\nPrimary Units=3\r\nDivision Size=0.0001\r\n") << -1;
    QTest::newRow("order of keys in the file does not matter")
        << QByteArray("[Calibration]\r\nDivision Size=1000.0\r\nPrimary Units=2\r\n") << 17;
}

void TestSettingsFile::divisionFollowsPrimaryUnits()
{
    QFETCH(QByteArray, file);
    QFETCH(int, item);
    QCOMPARE(read(file).itemIndex("DivisionSize"), item);
}

void TestSettingsFile::missingSecondOutputCopiesFirst()
{
    const QByteArray file = "[Custom Output]\r\nStream Format=<G>\r\nOK Token= \r\n"
                            "[Custom Output 2]\r\n; nothing here\r\n";
    const SettingsRecord r = read(file);
    QCOMPARE(r.tempCom1.lines(),
             (QList<OutputDefinition::Line>{{"Stream Format", "<G>"}, {"OK Token", " "}}));
    QCOMPARE(r.tempCom2, r.tempCom1);

    // The next save writes the copy as the second section.
    IniDocument doc = IniDocument::fromBytes(file);
    writeSettings(doc, r);
    QCOMPARE(doc.readString("Custom Output 2", "Stream Format"), QByteArray("<G>"));
    QVERIFY(doc.entries("Custom Output 2")
                .contains(std::pair<QByteArray, QByteArray>("OK Token", " ")));
}

void TestSettingsFile::saveRules_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("written"); // what the file holds afterwards

    // The file starts as a saved new record: a skipped key keeps the golden value.
    auto row = [](const char* name, const char* control, const char* value, const char* section,
                  const char* key, const char* written) {
        QTest::newRow(name) << QByteArray(control) << QByteArray(value) << QByteArray(section)
                            << QByteArray(key) << QByteArray(written);
    };
    row("capacity with letters skipped", "ScaleCapacity", "12a", "Calibration", "Scale Capacity",
        "5000");
    row("capacity below -9999 skipped", "ScaleCapacity", "-10000", "Calibration", "Scale Capacity",
        "5000");
    row("capacity -9999 written", "ScaleCapacity", "-9999", "Calibration", "Scale Capacity",
        "-9999");
    row("capacity with point written", "ScaleCapacity", "12.5", "Calibration", "Scale Capacity",
        "12.5");
    row("capacity with comma skipped", "ScaleCapacity", "12,5", "Calibration", "Scale Capacity",
        "5000");
    row("capacity empty skipped", "ScaleCapacity", "", "Calibration", "Scale Capacity", "5000");
    row("low weight checked too", "_4to20_Low", "abc", "4to20ma", "Low Weight", "0");
    row("high weight checked too", "_4to20_High", "-9999.5", "4to20ma", "High Weight", "5000");
    row("setpoint -1 skipped", "Setpoint1", "-1", "4to20ma", "Setpoint1", "0");
    row("setpoint 1.5 skipped", "Setpoint1", "1.5", "4to20ma", "Setpoint1", "0");
    row("setpoint 999999 written", "Setpoint1", "999999", "4to20ma", "Setpoint1", "999999");
    row("setpoint 1000000 skipped", "Setpoint2", "1000000", "4to20ma", "Setpoint2", "0");
    row("setpoint with leading zeroes written", "Setpoint2", "0000012", "4to20ma", "Setpoint2",
        "0000012");
    row("free text written as typed", "CustomFactor", "x y", "Configuration", "Custom Factor",
        "x y");
    row("node address written as typed", "NEBusID", "abc", "FieldBus", "Node Address", "abc");
    row("page size written as typed", "EditTop", "", "Page Size", "Top Margin", "");
    row("index with nothing chosen skipped", "Com1Baud", "-1", "Configuration", "Com1 Baud", "2");
    row("index past the list skipped", "Com1Baud", "7", "Configuration", "Com1 Baud", "2");
    row("index last item written", "Com1Baud", "6", "Configuration", "Com1 Baud", "6");
    row("lines per inch with nothing chosen is -1", "LinesPerInch", "-1", "Ticket", "Lines/Inch",
        "-1");
    row("lines per inch past the list is -1", "LinesPerInch", "7", "Ticket", "Lines/Inch", "-1");
    row("char width leading number", "CharWidth", "12x", "Ticket", "Char Width", "12");
    row("char width no number is 0", "CharWidth", "x", "Ticket", "Char Width", "0");
    row("resolution not in the list skipped", "CustomResolution", "1", "Configuration",
        "Custom Resolution", "1.0");
    row("resolution from the list written", "CustomResolution", "0.00005", "Configuration",
        "Custom Resolution", "0.00005");
    row("division of another unit's list skipped", "DivisionSize", "0.00005", "Calibration",
        "Division Size", "1.0");
    row("division nothing chosen skipped", "DivisionSize", "", "Calibration", "Division Size",
        "1.0");
    row("unit flag off", "RadioLB", "0", "Configuration", "lb Units", "0");
    row("Ethernet", "NEEthernet", "1", "FieldBus", "Network Type", "1");
}

void TestSettingsFile::saveRules()
{
    QFETCH(QByteArray, control);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, written);

    IniDocument doc = IniDocument::fromBytes(goldenNewRecordFile());
    SettingsRecord r = newSettingsRecord();
    r.setValue(control, value);
    writeSettings(doc, r);
    QCOMPARE(doc.readString(section, key, "<missing>"), written);
    // Nothing else moved: the document has the golden shape with at most that one value.
    QCOMPARE(doc.keys(section), IniDocument::fromBytes(goldenNewRecordFile()).keys(section));
}

void TestSettingsFile::oddValuesSurviveLoadAndSave_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("resolution 1 untouched")
        << QByteArray("[Configuration]\r\nCustom Resolution=1\r\n") << QByteArray("Configuration")
        << QByteArray("Custom Resolution") << QByteArray("1");
    QTest::newRow("lines per inch 7 saved as -1")
        << QByteArray("[Ticket]\r\nLines/Inch=7\r\n") << QByteArray("Ticket")
        << QByteArray("Lines/Inch") << QByteArray("-1");
    QTest::newRow("hex index past the list untouched")
        << QByteArray("[Configuration]\r\nSleep Mode=0x1F\r\n") << QByteArray("Configuration")
        << QByteArray("Sleep Mode") << QByteArray("0x1F");
    QTest::newRow("hex index in the list rewritten in decimal")
        << QByteArray("[Configuration]\r\nSleep Mode=0x2\r\n") << QByteArray("Configuration")
        << QByteArray("Sleep Mode") << QByteArray("2");
    QTest::newRow("count code 2 written back")
        << QByteArray("[Ticket Format]\r\nCount Visible=2\r\n") << QByteArray("Ticket Format")
        << QByteArray("Count Visible") << QByteArray("2");
    QTest::newRow("accum code 1 written back")
        << QByteArray("[Ticket Format]\r\nAccum Visible=1\r\n") << QByteArray("Ticket Format")
        << QByteArray("Accum Visible") << QByteArray("1");
    QTest::newRow("unknown count code becomes hidden")
        << QByteArray("[Ticket Format]\r\nCount Visible=5\r\n") << QByteArray("Ticket Format")
        << QByteArray("Count Visible") << QByteArray("0");
    QTest::newRow("plain visible 5 is shown")
        << QByteArray("[Ticket Format]\r\nPeak Visible=5\r\n") << QByteArray("Ticket Format")
        << QByteArray("Peak Visible") << QByteArray("1");
}

void TestSettingsFile::oddValuesSurviveLoadAndSave()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, saved);

    IniDocument doc = IniDocument::fromBytes(line);
    writeSettings(doc, readSettings(doc));
    QCOMPARE(doc.readString(section, key), saved);
}

void TestSettingsFile::noCustomOutputSectionsWritesTextKeysOnly()
{
    IniDocument doc = IniDocument::fromBytes("[Configuration]\r\nTime=0\r\n");
    writeSettings(doc, readSettings(doc));
    const QList<std::pair<QByteArray, QByteArray>> textKeys = {
        {"Stream Format", ""}, {"Weight Digits", "6"},      {"Fixed Decimal Places", "0"},
        {"Poll String", ""},   {"Primary Units Token", ""}, {"Secondary Units Token", ""},
        {"Motion Token", ""},  {"Out of Range Token", ""},  {"Gross Token", ""},
        {"Tare Token", ""},    {"Net Token", ""},           {"OK Token", ""},
        {"Invalid Token", ""}};
    QCOMPARE(doc.entries("Custom Output"), textKeys);
    QCOMPARE(doc.entries("Custom Output 2"), textKeys);
}

void TestSettingsFile::outputKeyRules_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("written"); // "<missing>" when not written

    QTest::newRow("integer leading number")
        << QByteArray("Checksum") << QByteArray("1abc") << QByteArray("1");
    QTest::newRow("integer signed")
        << QByteArray("Justify") << QByteArray("-2x") << QByteArray("-2");
    QTest::newRow("integer without digits is 0")
        << QByteArray("Poll Char Token") << QByteArray("CR") << QByteArray("0");
    QTest::newRow("integer names ignore case")
        << QByteArray("poll token") << QByteArray("4") << QByteArray("4");
    QTest::newRow("polarity exactly 1")
        << QByteArray("Include Polarity") << QByteArray("1") << QByteArray("1");
    QTest::newRow("polarity anything else 0")
        << QByteArray("Include Polarity") << QByteArray("01") << QByteArray("0");
    QTest::newRow("text as held, blank kept")
        << QByteArray("OK Token") << QByteArray(" ") << QByteArray(" ");
    QTest::newRow("weight digits as held")
        << QByteArray("Weight Digits") << QByteArray("x") << QByteArray("x");
    QTest::newRow("key outside the table not written")
        << QByteArray("Colour") << QByteArray("red") << QByteArray("<missing>");
}

void TestSettingsFile::outputKeyRules()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, written);

    OutputDefinition def;
    def.append(key, value);
    IniDocument doc;
    writeOutputDefinition(doc, "Custom Output", def);
    const auto entries = doc.entries("Custom Output");
    QByteArray found = "<missing>";
    for (const auto& [k, v] : entries)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            found = v;
    QCOMPARE(found, written);
    // Integer and flag keys the definition lacks are never written.
    QVERIFY(!doc.hasKey("Custom Output", "Delimited") || key.compare("delimited") == 0);
}

void TestSettingsFile::saveIntoHandEditedFileKeepsItsShape()
{
    const QByteArray handEdited = "; settings from the bench PC\r\n"
                                  "[Calibration]\r\n"
                                  "Division Size=0.5\r\n"
                                  "Operator=Fred\r\n"
                                  "Scale Capacity=100\r\n"
                                  "\r\n"
                                  "[configuration]\r\n"
                                  "Com1 Baud=6\r\n"
                                  "; Time was 0 here\r\n"
                                  "TIME=0\r\n"
                                  "[Notes]\r\n"
                                  "Line=\xe9t\xe9 keep me\r\n";
    IniDocument doc = IniDocument::fromBytes(handEdited);
    writeSettings(doc, newSettingsRecord());
    const QByteArray out = doc.toBytes();

    // The file's own lines stand where they stood, with the saved values in place.
    QVERIFY(out.startsWith("; settings from the bench PC\r\n"
                           "[Calibration]\r\n"
                           "Division Size=1.0\r\n"
                           "Operator=Fred\r\n"
                           "Scale Capacity=5000\r\n"
                           "Primary Units=0\r\n"));
    QVERIFY(out.contains("Auto Tare Mode=1\r\n\r\n[configuration]\r\n"
                         "Com1 Baud=2\r\n; Time was 0 here\r\nTIME=1\r\nDisplay Rate=1\r\n"));
    QVERIFY(out.contains("Com2 DataBits=1\r\n[Notes]\r\nLine=\xe9t\xe9 keep me\r\n[FieldBus]\r\n"));
    QCOMPARE(doc.sections(), (QList<QByteArray>{"Calibration", "configuration", "Notes", "FieldBus",
                                                "4to20ma", "Ticket Format", "Ticket", "Page Size",
                                                "Custom Output", "Custom Output 2"}));
    QCOMPARE(doc.keys("Calibration"),
             (QList<QByteArray>{"Division Size", "Operator", "Scale Capacity", "Primary Units",
                                "Auto Zero Tracking", "Motion Band", "Digital Filter",
                                "Auto Tare Mode"}));
    // The tail, from the first new section on, is what a fresh file holds.
    const QByteArray golden = goldenNewRecordFile();
    QVERIFY(out.endsWith(golden.mid(golden.indexOf("[FieldBus]"))));
}


// An editor on another system may put a UTF-8 byte-order mark in front of the first section.
void TestSettingsFile::byteOrderMarkIsKeptAndHidesNothing()
{
    const QByteArray bom = "\xEF\xBB\xBF";
    IniDocument doc = IniDocument::fromBytes(bom + "[Configuration]\r\nCom1 Baud=6\r\n");
    const SettingsRecord r = readSettings(doc);
    QCOMPARE(r.value("Com1Baud"), QByteArray("6"));
    writeSettings(doc, r);
    const QByteArray saved = doc.toBytes();
    QVERIFY(saved.startsWith(bom + "[Configuration]\r\nCom1 Baud=6\r\n"));
    QCOMPARE(saved.count("[Configuration]"), 1);
    QCOMPARE(saved.count(bom), 1);
    QCOMPARE(readSettings(IniDocument::fromBytes(saved)).value("Com1Baud"), QByteArray("6"));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
