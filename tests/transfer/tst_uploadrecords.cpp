#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "transfer/DownloadRecords.h"
#include "transfer/UploadRecords.h"

#include <QTest>

#include "UploadSample.h"

using namespace kx;
using Outcome = UploadParse::Outcome;

namespace {


UploadContext editorContext()
{
    UploadContext c;
    c.setpoint1 = "111";
    c.setpoint2 = "222";
    c.height = "11.0";
    c.width = "8.5";
    c.top = "0.5";
    c.left = "0.25";
    c.bottom = "0.5";
    c.right = "0.25";
    return c;
}

// The record's lines replaced: line i of the upload by text.
QByteArray withRecord(int i, const QByteArray& text)
{
    QList<QByteArray> lines = kUploadOne.split('\n');
    lines[i] = text + '\r';
    return lines.join('\n');
}

bool hasLine(const UploadParse& p, const QByteArray& line)
{
    return p.lines.contains(line);
}

} // namespace

class UploadRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("number: 12abc") << "number" << QByteArray(" 12abc") << QByteArray("12");
        QTest::newRow("number: abc") << "number" << QByteArray("abc") << QByteArray("0");
        QTest::newRow("number: negative raised to 0") << "number" << QByteArray("-3") << QByteArray("0");
        QTest::newRow("less one: 1") << "less one" << QByteArray("1") << QByteArray("0");
        QTest::newRow("less one: 0 stays 0") << "less one" << QByteArray("0") << QByteArray("0");
        QTest::newRow("less one: 05") << "less one" << QByteArray("05") << QByteArray("4");
        QTest::newRow("trimmed") << "trimmed" << QByteArray(" \t5000\x01 ") << QByteArray("5000");
        QTest::newRow("decimal trim: 0.050") << "decimal" << QByteArray("0.050") << QByteArray("0.05");
        QTest::newRow("decimal trim: 10.000") << "decimal" << QByteArray("10.000") << QByteArray("10.0");
        QTest::newRow("decimal trim: 5.000") << "decimal" << QByteArray("5.000") << QByteArray("5.0");
        QTest::newRow("decimal trim: 0.000") << "decimal" << QByteArray("0.000") << QByteArray("0.0");
        QTest::newRow("decimal trim: 000") << "decimal" << QByteArray("000") << QByteArray("0");
        QTest::newRow("decimal trim: 20") << "decimal" << QByteArray("20") << QByteArray("2");
        QTest::newRow("hex: 0D") << "hex" << QByteArray("0D") << QByteArray("13");
        QTest::newRow("hex: 20") << "hex" << QByteArray("20") << QByteArray("32");
        QTest::newRow("hex: ff") << "hex" << QByteArray("ff") << QByteArray("255");
        QTest::newRow("hex: 00") << "hex" << QByteArray("00") << QByteArray("0");
        QTest::newRow("hex: empty") << "hex" << QByteArray() << QByteArray("0");
        QTest::newRow("hex: 0x prefix") << "hex" << QByteArray("0x0D") << QByteArray("0");
        QTest::newRow("hex: sign") << "hex" << QByteArray("-1") << QByteArray("0");
        QTest::newRow("hex: blank inside") << "hex" << QByteArray("0 D") << QByteArray("0");
    }
    void conversions()
    {
        QFETCH(QString, rule);
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, value);
        const QByteArray got = rule == "number"     ? readNumber(field)
                               : rule == "less one" ? readLessOne(field)
                               : rule == "trimmed"  ? readTrimmed(field)
                               : rule == "decimal"  ? readDecimalTrim(field)
                                                    : readHex(field);
        QCOMPARE(got, value);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QList<QByteArray>>("present");
        QTest::addColumn<QList<QByteArray>>("absent");
        const int complete = int(Outcome::Complete), incomplete = int(Outcome::Incomplete),
                  error = int(Outcome::Error);

        QTest::newRow("one output, complete at its date record")
            << kUploadOne << 10 << complete
            << QList<QByteArray>{"[Configuration]", "Display Rate=1", "Com1 Mode=1",
                                 "Custom Name=Barrels", "Custom Resolution=1.0",
                                 "Division Size=1.0", "Poll Char Token=13",
                                 "Block Char Token=32", "Stream Format=<A><B><C><G><T>",
                                 "[Page Size]", "Height=11.0", "Right Margin=0.25",
                                 "[Custom Output 2]", "Stream Format=", "Setpoint1=0"}
            << QList<QByteArray>{};
        QTest::newRow("second version: eight records, ends after the output definition")
            << withRecord(8, "garbage") << 8 << complete << QList<QByteArray>{"Invalid Token=I"}
            << QList<QByteArray>{"[Custom Output 2]"};
        QTest::newRow("bare line feeds end records too")
            << QByteArray(kUploadOne).replace("\r\n", "\n") << 10 << complete
            << QList<QByteArray>{"Invalid Token=I"} << QList<QByteArray>{};
        QTest::newRow("tag need not start its line; [TAD] must")
            << withRecord(0, "xx[CFG],1,2,1,1,0,0,0,0,\"Barrels\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,"
                             "1,1,3,1,2,2,")
            << 10 << complete << QList<QByteArray>{"Time=0"} << QList<QByteArray>{};
        QTest::newRow("missing tag")
            << withRecord(1, "[CAX],5000,1,4,4,1.0,1,2,") << 10 << incomplete
            << QList<QByteArray>{"[Configuration]"} << QList<QByteArray>{"[Calibration]"};
        QTest::newRow("field short of its comma")
            << withRecord(1, "[CAL],5000,1,4") << 10 << incomplete << QList<QByteArray>{}
            << QList<QByteArray>{"[FieldBus]"};
        QTest::newRow("fewer lines than records")
            << kUploadOne.left(kUploadOne.indexOf("[CFM]")) << 10 << error << QList<QByteArray>{}
            << QList<QByteArray>{};
        QTest::newRow("four-field 420 keeps the editor's set points")
            << withRecord(3, "[420],0,5000,1,1,") << 10 << complete
            << QList<QByteArray>{"Setpoint1=111", "Setpoint2=222"} << QList<QByteArray>{};
        QTest::newRow("five-field 420 takes only the second from the editor")
            << withRecord(3, "[420],0,5000,1,1,77,") << 10 << complete
            << QList<QByteArray>{"Setpoint1=77", "Setpoint2=222"} << QList<QByteArray>{};
        QTest::newRow("ticket fields not sent are filled in hidden")
            << withRecord(4, "[TKT],t,10,8,G,14,8,") << 10 << complete
            << QList<QByteArray>{"Time Visible=1", "Time Row=10", "Gross Col=8", "Date Visible=0",
                                 "Date Row=0", "Peak Col=0", "ID Visible=0"}
            << QList<QByteArray>{"Time Visible=0"};
        QTest::newRow("lower-case count letter")
            << withRecord(4, "[TKT],c,2,3,") << 10 << complete
            << QList<QByteArray>{"Count Visible=2", "Count Row=2", "Count Col=3", "Accum Visible=0"}
            << QList<QByteArray>{};
        QTest::newRow("unknown ticket letter")
            << withRecord(4, "[TKT],X,1,1,") << 10 << incomplete << QList<QByteArray>{}
            << QList<QByteArray>{"[Ticket]"};
        QTest::newRow("empty ticket list")
            << withRecord(4, "[TKT],") << 10 << incomplete << QList<QByteArray>{}
            << QList<QByteArray>{"[Ticket]"};
        QTest::newRow("stream format without a comma is taken whole")
            << withRecord(6, "[CST],<A><B>") << 10 << complete
            << QList<QByteArray>{"Stream Format=<A><B>"} << QList<QByteArray>{};
        QTest::newRow("quoted name carries its commas")
            << withRecord(0, "[CFG],1,2,1,1,0,0,0,0,\"Smith, J\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,"
                             "1,1,3,1,2,2,")
            << 10 << complete
            << QList<QByteArray>{"Custom Name=Smith, J", "Custom Factor=1.0",
                                 "Custom Resolution=1.0", "Com2 DataBits=1"}
            << QList<QByteArray>{};
        QTest::newRow("quoted name of commas only")
            << withRecord(0, "[CFG],1,2,1,1,0,0,0,0,\",,\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,"
                             "1,1,3,1,2,2,")
            << 10 << complete << QList<QByteArray>{"Custom Name=,,", "Custom Factor=1.0"}
            << QList<QByteArray>{};
        QTest::newRow("quoted name never closed")
            << withRecord(0, "[CFG],1,2,1,1,0,0,0,0,\"Smith") << 10 << incomplete
            << QList<QByteArray>{} << QList<QByteArray>{"[Calibration]"};
        QTest::newRow("one-character custom name comes back empty")
            << withRecord(0, "[CFG],1,2,1,1,0,0,0,0,\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,1,1,3,1,2,2,")
            << 10 << complete << QList<QByteArray>{"Custom Name="} << QList<QByteArray>{};
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, lineCount);
        QFETCH(int, outcome);
        QFETCH(QList<QByteArray>, present);
        QFETCH(QList<QByteArray>, absent);
        UploadContext c = editorContext();
        c.lineCount = lineCount;
        const UploadParse p = parseUpload(text, c);
        QCOMPARE(int(p.outcome), outcome);
        for (const QByteArray& line : present)
            QVERIFY2(hasLine(p, line), line.constData());
        for (const QByteArray& line : absent)
            QVERIFY2(!hasLine(p, line), line.constData());
    }

    void twoOutputsEndAtTheSecondDefinition()
    {
        QByteArray text = kUploadOne;
        text.replace("[TAD],", "[CS2],<W>[,]<U>,\r\n[CF2],0,0,0,6,1,1,2,2,1,0,0,5,0D,,6,ff,3,,0,,"
                               "lb,kg,m,o,g,t,n, , ,\r\n[TAD],");
        const UploadParse p = parseUpload(text, editorContext());
        QCOMPARE(p.outcome, Outcome::Complete);
        const int second = p.lines.indexOf("[Custom Output 2]");
        QVERIFY(second > 0);
        const QList<QByteArray> tail = p.lines.mid(second);
        QVERIFY(tail.contains("Stream Format=<W>[,]<U>"));
        QVERIFY(tail.contains("Poll Char Token=13"));
        QVERIFY(tail.contains("Start Char Token=255"));
        QVERIFY(tail.contains("Stop Char Token=0"));
        QVERIFY(tail.contains("Invalid Token= "));
    }

    // A settings file sent and read back is the same settings file, for every key the records
    // carry (the page size comes from the editor, as it does on a real upload).
    void downloadThenUploadGivesTheSameSettings_data()
    {
        QTest::addColumn<bool>("second");
        QTest::newRow("one output") << false;
        QTest::newRow("two outputs") << true;
    }
    void downloadThenUploadGivesTheSameSettings()
    {
        QFETCH(bool, second);
        SettingsRecord record = newSettingsRecord();
        record.setValue("PrintMode1", "11");
        record.setValue("CustomFactor", "2.20462");
        record.setValue("Setpoint1", "1200");
        IniDocument doc;
        writeSettings(doc, record);
        const SettingsRecord original = readSettings(doc);

        DownloadSource source;
        source.fileText = doc.toBytes();
        for (const char* unit : {"lb Units", "kg Units", "gm Units", "oz Units", "lb-oz Units",
                                 "Custom Units"})
            if (doc.readInteger("Configuration", unit, 0) == 1)
                source.tickedUnits << unit;
        source.fieldBus = doc.readInteger("FieldBus", "Network Type", 0) == 0;
        source.secondOutput = second;
        source.now = QDateTime::currentDateTime();
        const DownloadBuild sent = buildDownloadRecords(source);
        QVERIFY(sent.ok());

        UploadContext c;
        for (auto [key, field] : {std::pair{"Height", &c.height}, {"Width", &c.width},
                                  {"Top Margin", &c.top}, {"Left Margin", &c.left},
                                  {"Bottom Margin", &c.bottom}, {"Right Margin", &c.right}})
            *field = doc.readString("Page Size", key);
        const UploadParse back = parseUpload(sent.records, c);
        QCOMPARE(back.outcome, Outcome::Complete);
        const IniDocument uploaded = IniDocument::fromBytes(back.lines.join("\r\n") + "\r\n");
        const SettingsRecord got = readSettings(uploaded);
        QCOMPARE(got.value("PrintMode1"), QByteArray("11"));
        QCOMPARE(got.value("CustomFactor"), QByteArray("2.20462"));
        QCOMPARE(got.values, original.values);
        // A character code travels only while its token is user-defined; otherwise the record
        // carries the token's fixed character and the code means nothing.
        const auto sameOutput = [](const OutputDefinition& a, const OutputDefinition& b) {
            for (const auto& [key, value] : a.lines()) {
                const QByteArray token = key.endsWith(" Char Token") ? key.chopped(11) + " Token"
                                                                     : QByteArray();
                const int userDefined = token == "Start Token" ? 6 : 5;
                if (!token.isEmpty() && a.value(token).toInt() != userDefined)
                    continue;
                if (b.value(key) != value) {
                    qWarning() << key << value << b.value(key);
                    return false;
                }
            }
            return true;
        };
        QVERIFY(sameOutput(original.tempCom1, got.tempCom1));
        if (second)
            QVERIFY(sameOutput(original.tempCom2, got.tempCom2));
    }
};

QTEST_GUILESS_MAIN(UploadRecordsTest)
#include "tst_uploadrecords.moc"
