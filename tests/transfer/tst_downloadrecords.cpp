#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "settings/SettingsSchema.h"
#include "transfer/DownloadRecords.h"
#include "transfer/RecordLayout.h"

#include <QTest>

using namespace kx;

namespace {

const QDateTime kClock(QDate(2006, 3, 21), QTime(14, 5, 9));

QByteArray newRecordFile()
{
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    return doc.toBytes();
}

DownloadSource sourceOf(const QByteArray& file, bool second = false)
{
    DownloadSource s;
    s.fileText = file;
    s.tickedUnits = {"lb Units", "kg Units"};
    s.fieldBus = true;
    s.secondOutput = second;
    s.now = kClock;
    return s;
}

// The record with that tag, without its CR LF; empty when there is none.
QByteArray recordOf(const QByteArray& records, const QByteArray& tag)
{
    for (const QByteArray& line : records.split('\n'))
        if (line.startsWith(tag))
            return line.chopped(line.endsWith('\r') ? 1 : 0);
    return {};
}

QList<QByteArray> tagsOf(const QByteArray& records)
{
    QList<QByteArray> out;
    for (const QByteArray& line : records.split('\n'))
        if (!line.isEmpty())
            out << line.left(6);
    return out;
}

} // namespace

class DownloadRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    // The simulator's factory setup is a new record: built here, it must read as the simulator
    // sends its own (a witness that shares no code with the builder).
    void newRecordReadsAsTheIndicatorsOwnSetup()
    {
        const DownloadBuild b = buildDownloadRecords(sourceOf(newRecordFile()));
        QVERIFY(b.ok());
        const QList<QByteArray> expected = {
            "[CFG],1,2,1,1,0,0,0,0,\"Barrels\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,1,1,3,1,2,2,",
            "[CAL],5000,1,4,4,1.0,1,2,",
            "[ANY],1,1,1,1,0,",
            "[420],0,5000,1,1,0,0,",
            "[TKT],t,10,8,d,12,8,G,14,8,T,16,8,N,18,8,",
            "[PRN],1,1,12,1,",
        };
        for (const QByteArray& record : expected)
            QCOMPARE(recordOf(b.records, record.left(6)), record);
        QCOMPARE(recordOf(b.records, "[TAD],"), QByteArray("[TAD],14,05,09,03,21,06,"));
        QVERIFY(b.records.endsWith("\r\n"));
        QCOMPARE(b.records.count("\r\n"), 9);
    }

    // The records name the settings file's own keys: a key here that the settings description
    // does not know would be looked up in vain and sent empty.
    void everyRecordKeyIsASettingsKey()
    {
        for (const auto* record :
             {&records::configuration(), &records::calibration(), &records::fieldBus(),
              &records::fourTo20mA(), &records::printer(), &records::output()})
            for (const FieldLayout& f : record->fields)
                QVERIFY2(findSettingByKey(record->section ? record->section : "Custom Output",
                                          f.key)
                             || findOutputKey(f.key),
                         f.key);
    }

    void recordsComeInTheirOrder_data()
    {
        QTest::addColumn<bool>("second");
        QTest::addColumn<QList<QByteArray>>("tags");
        const QList<QByteArray> one = {"[CFG],", "[CAL],", "[ANY],", "[420],", "[TKT],",
                                       "[PRN],", "[CST],", "[CFM],", "[TAD],"};
        QList<QByteArray> two = one;
        two.insert(8, "[CF2],");
        two.insert(8, "[CS2],");
        QTest::newRow("one output") << false << one;
        QTest::newRow("two outputs") << true << two;
    }
    void recordsComeInTheirOrder()
    {
        QFETCH(bool, second);
        QFETCH(QList<QByteArray>, tags);
        const DownloadBuild b = buildDownloadRecords(sourceOf(newRecordFile(), second));
        QVERIFY(b.ok());
        QCOMPARE(tagsOf(b.records), tags);
    }

    void records_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("second");
        QTest::addColumn<QByteArray>("record");

        QTest::newRow("calibration example")
            << QByteArray("[Calibration]\r\nScale Capacity=5000\r\nPrimary Units=0\r\n"
                          "Auto Zero Tracking=3\r\nMotion Band=3\r\nDivision Size=1.0\r\n"
                          "Digital Filter=0\r\nAuto Tare Mode=1\r\n")
            << false << QByteArray("[CAL],5000,1,4,4,1.0,1,2,");
        QTest::newRow("missing keys: the editor's defaults for a missing key")
            << QByteArray("[Calibration]\r\n") << false << QByteArray("[CAL],0,1,4,4,1.0,1,2,");
        QTest::newRow("keys looked up without regard to case or blanks")
            << QByteArray("[Calibration]\r\n  scale CAPACITY = 250\r\n") << false
            << QByteArray("[CAL],250,1,4,4,1.0,1,2,"); // as the editor reads it
        QTest::newRow("printer: char width is the number itself, lines/inch -1 sent as 0")
            << QByteArray("[Ticket]\r\nPrinter=3\r\nLines/Inch=-1\r\nChar Width=7\r\nInhibit=2\r\n")
            << false << QByteArray("[PRN],4,0,07,3,");

        const QByteArray ticket = "[Ticket Format]\r\nTime Visible=1\r\nTime Row=10\r\nTime Col=8\r\n"
                                  "Date Visible=1\r\nDate Row=12\r\nDate Col=8\r\n"
                                  "Gross Visible=1\r\nGross Row=14\r\nGross Col=8\r\n"
                                  "Tare Visible=1\r\nTare Row=16\r\nTare Col=8\r\n"
                                  "Net Visible=1\r\nNet Row=18\r\nNet Col=8\r\n"
                                  "Count Visible=0\r\nAccum Visible=0\r\n";
        const QByteArray hidden = "Peak Visible=0\r\nID Visible=0\r\n";
        // A field the file does not name is shown where the editor puts it; these hide them.
        const QByteArray noneShown = "Time Visible=0\r\nDate Visible=0\r\nGross Visible=0\r\n"
                                     "Tare Visible=0\r\nNet Visible=0\r\n" + hidden;
        QTest::newRow("ticket example")
            << ticket + hidden << false << QByteArray("[TKT],t,10,8,d,12,8,G,14,8,T,16,8,N,18,8,");
        QTest::newRow("missing keys: the editor's default places")
            << QByteArray("[Ticket Format]\r\n") << false
            << QByteArray("[TKT],t,10,6,d,10,8,G,10,10,T,10,12,N,10,14,P,10,20,I,10,26,");
        QTest::newRow("count and accum given as 0 are shown at 0,0")
            << QByteArray("[Ticket Format]\r\nCount Visible=1\r\nCount Row=0\r\nCount Col=0\r\n"
                          "Accum Visible=1\r\nAccum Row=0\r\nAccum Col=0\r\n")
            << false
            << QByteArray("[TKT],C,0,0,A,0,0,t,10,6,d,10,8,G,10,10,T,10,12,N,10,14,P,10,20,I,10,26,");
        QTest::newRow("count codes: 2 gives the lower-case letters")
            << QByteArray("Count Visible=2\r\nCount Row=3\r\nCount Col=1\r\n"
                          "Accum Visible=1\r\nAccum Row=3\r\nAccum Col=0\r\n")
                   + noneShown
            << false << QByteArray("[TKT],A,3,0,c,3,1,");
        QTest::newRow("same row by column, same place by code")
            << QByteArray("Count Visible=0\r\nAccum Visible=0\r\nID Visible=1\r\nID Row=5\r\n"
                          "ID Col=2\r\nPeak Visible=1\r\nPeak Row=5\r\nPeak Col=2\r\n"
                          "Time Visible=1\r\nTime Row=5\r\nTime Col=10\r\n"
                          "Date Visible=1\r\nDate Row=1\r\nDate Col=30\r\n"
                          "Gross Visible=0\r\nTare Visible=0\r\nNet Visible=0\r\n")
            << false << QByteArray("[TKT],d,1,30,P,5,2,I,5,2,t,5,10,");
        QTest::newRow("no field shown")
            << QByteArray("Count Visible=0\r\nAccum Visible=0\r\n") + noneShown << false
            << QByteArray("[TKT],");

        const QByteArray output2 = "[Custom Output]\r\nStream Format=<W>\r\n"
                                   "[Custom Output 2]\r\nStream Format=<A>[,]<B>\r\nChecksum=1\r\n"
                                   "Poll Token=3\r\nStart Token=6\r\nStart Char Token=255\r\n"
                                   "Stop Token=5\r\nStop Char Token=\r\nBlock Token=0\r\n"
                                   "Include Polarity=1\r\n";
        QTest::newRow("second output: fixed character fields are empty")
            << output2 << true
            << QByteArray("[CF2],1,0,0,,0,1,0,,0,0,0,3,,,6,FF,5,00,0,,,,,,,,,,,");
        QTest::newRow("second stream format holds its commas")
            << output2 << true << QByteArray("[CS2],<A>[,]<B>,");
        QTest::newRow("first output: user-defined poll character in hex, fixed texts else")
            << QByteArray("[Custom Output]\r\nPoll Token=5\r\nPoll Char Token=13\r\n"
                          "Include Polarity= 1\r\nWeight Digits=6\r\n"
                          "[Custom Output 2]\r\nPoll Token=7\r\n")
            << false
            << QByteArray("[CFM],0,0,0,6,0,0,0,,0,0,0,5,0D,,0,02,0,0D,0,20,,,,,,,,,,");
    }
    void records()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, second);
        QFETCH(QByteArray, record);
        const DownloadBuild b = buildDownloadRecords(sourceOf(file, second));
        QVERIFY2(b.ok(), qPrintable(b.failures.join(" | ")));
        QCOMPARE(recordOf(b.records, record.left(6)), record);
    }

    void customFactor_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("1.0") << QByteArray("1.0") << QByteArray("1.0");
        QTest::newRow("0.5") << QByteArray("0.5") << QByteArray("0.5");
        QTest::newRow("12") << QByteArray("12") << QByteArray("12");
        QTest::newRow("empty") << QByteArray() << QByteArray("0");
        QTest::newRow("2.20462") << QByteArray("2.20462") << QByteArray("2.20462");
        QTest::newRow("not a number") << QByteArray("x") << QByteArray("0");
    }
    void customFactor()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, sent);
        QCOMPARE(factorField(stored), sent);
    }

    // Only a hand-edited file holds such values: the record fails and says which value, and
    // nothing from it or after it is built.
    void valueThatDoesNotFitItsFieldStopsTheBuild_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("failures");
        QTest::addColumn<QList<QByteArray>>("built");
        QTest::newRow("two digits for a one-digit index")
            << QByteArray("[Configuration]\r\nCom1 Baud=9\r\n")
            << QStringList{"Unable to Write Configuration Data.",
                           "Com1 Baud=9 does not fit its one-digit field."}
            << QList<QByteArray>{};
        QTest::newRow("the largest number there is")
            << QByteArray("[Configuration]\r\nCom1 Baud=99999999999\r\n")
            << QStringList{"Unable to Write Configuration Data.",
                           "Com1 Baud=99999999999 does not fit its one-digit field."}
            << QList<QByteArray>{};
        QTest::newRow("three digits for Com1 Mode")
            << QByteArray("[Configuration]\r\nCom1 Mode=123\r\n")
            << QStringList{"Unable to Write Configuration Data.",
                           "Com1 Mode=123 does not fit its two-digit field."}
            << QList<QByteArray>{};
        QTest::newRow("negative char width")
            << QByteArray("[Ticket]\r\nChar Width=-4\r\n")
            << QStringList{"Unable to Write Printer Settings.",
                           "Char Width=-4 does not fit its two-digit field."}
            << QList<QByteArray>{"[CFG],", "[CAL],", "[ANY],", "[420],", "[TKT],"};
        // The editor's typing limit is the indicator's field: a longer value is neither cut
        // nor sent.
        QTest::newRow("custom name longer than its field")
            << QByteArray("[Configuration]\r\nCustom Name=" + QByteArray(40, 'N') + "\r\n")
            << QStringList{"Unable to Write Configuration Data.",
                           "Custom Name=" + QString(40, 'N')
                               + " is longer than its 8-character field (40 characters)."}
            << QList<QByteArray>{};
        QTest::newRow("a megabyte of custom factor")
            << QByteArray("[Configuration]\r\nCustom Factor=1." + QByteArray(1 << 20, '5') + "\r\n")
            << QStringList{"Unable to Write Configuration Data.",
                           "Custom Factor=1." + QString(38, '5')
                               + "... is longer than its 8-character field (1048578 characters)."}
            << QList<QByteArray>{};
        QTest::newRow("unit token longer than its field")
            << QByteArray("[Custom Output]\r\nStream Format=<W>\r\nGross Token=GROSSWEIGHT\r\n")
            << QStringList{"Unable to Write Custom Output Definition.",
                           "Gross Token=GROSSWEIGHT is longer than its 8-character field (11 "
                           "characters)."}
            << QList<QByteArray>{"[CFG],", "[CAL],", "[ANY],", "[420],", "[TKT],", "[PRN],",
                                 "[CST],"};
        QTest::newRow("ticket row beyond the page")
            << QByteArray("[Ticket Format]\r\nTime Visible=1\r\nTime Row=10000\r\n")
            << QStringList{"Unable to write Ticket Format.",
                           "Time Row=10000 is not a place on the ticket."}
            << QList<QByteArray>{"[CFG],", "[CAL],", "[ANY],", "[420],"};
    }
    void valueThatDoesNotFitItsFieldStopsTheBuild()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, failures);
        QFETCH(QList<QByteArray>, built);
        const DownloadBuild b = buildDownloadRecords(sourceOf(file));
        QCOMPARE(b.failures, failures);
        QCOMPARE(tagsOf(b.records), built);
    }

    // A text field fails its record only on a character that would break it; the quotes of a
    // quoted field carry commas.
    void textFieldCharacters_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<QByteArray>("sent");     // the record's text, when it is built
        QTest::addColumn<QStringList>("failure"); // else the failure lines
        // A file with nothing but the name: every other field is the editor's value for a
        // missing key.
        const auto cfg = [](const QByteArray& name) {
            return "[CFG],0,1,1,1,0,0,0,0,\"" + name + "\",0.0,1.0,0,1,1,1,1,1,01,4,3,2,2,1,1,4,3,2,2,";
        };
        const QByteArray custom = "[Custom Output]\r\nStream Format=<G>\r\n";

        // Quoted: the custom unit's name.
        QTest::newRow("quoted, comma") << QByteArray("[Configuration]\r\nCustom Name=Smith, J\r\n")
                                       << QByteArray("[CFG],") << cfg("Smith, J") << QStringList{};
        QTest::newRow("quoted, only commas") << QByteArray("[Configuration]\r\nCustom Name=,,\r\n")
                                             << QByteArray("[CFG],") << cfg(",,") << QStringList{};
        QTest::newRow("quoted, double quote")
            << QByteArray("[Configuration]\r\nCustom Name=6\" pipe\r\n") << QByteArray("[CFG],")
            << QByteArray()
            << QStringList{"Unable to Write Configuration Data.",
                           "Custom Name=6\" pipe holds a double quote, which the "
                           "record cannot carry."};
        // A CR or LF cannot reach a value from a file (it ends the line there, as the editor
        // reads it); the rule that refuses one is the same table as the others.
        // Unquoted: a plain text field in the first and in a later field of its record.
        QTest::newRow("unquoted, comma")
            << QByteArray("[Calibration]\r\nScale Capacity=5,000\r\n") << QByteArray("[CAL],")
            << QByteArray()
            << QStringList{"Unable to Write Calibration Data.",
                           "Scale Capacity=5,000 holds a comma, which the record "
                           "cannot carry."};
        QTest::newRow("unquoted, double quote")
            << custom + "Poll String=W\"<D>\r\n"
            << QByteArray("[CFM],")
            << QByteArray("[CFM],0,0,0,,0,0,0,,0,0,0,0,0D,W\"<D>,0,02,0,0D,0,20,,,,,,,,,,")
            << QStringList{};
        // The stream format is its record's one field: commas and quotes go as they are.
        QTest::newRow("stream format, comma and quote")
            << QByteArray("[Custom Output]\r\nStream Format=<G>[,\"]<T>\r\n")
            << QByteArray("[CST],") << QByteArray("[CST],<G>[,\"]<T>,") << QStringList{};
    }
    void textFieldCharacters()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, tag);
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, failure);
        const DownloadBuild b = buildDownloadRecords(sourceOf(file));
        QCOMPARE(b.failures, failure);
        if (failure.isEmpty())
            QCOMPARE(recordOf(b.records, tag), sent);
        else
            QVERIFY(recordOf(b.records, tag).isEmpty());
    }

    // A download reads a file as the editor's Open does: a key the file lacks is what Open
    // shows, so sending a partial file sends what opening and saving it would have sent; and
    // CR-only or LF line ends and a byte-order mark change nothing.
    void fileReadAsTheEditorReadsIt_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("only a section header") << QByteArray("[Configuration]\r\n");
        QTest::newRow("one key of each record")
            << QByteArray("[Configuration]\r\nCustom Name=Kegs\r\n[Calibration]\r\n"
                          "Scale Capacity=250\r\n[Ticket Format]\r\nTime Row=3\r\n"
                          "[Ticket]\r\nChar Width=10\r\n[4to20ma]\r\nHigh Weight=100\r\n");
        QTest::newRow("the new record with every other line gone") << [] {
            QByteArray out;
            const QList<QByteArray> lines = newRecordFile().split('\n');
            for (qsizetype i = 0; i < lines.size(); ++i)
                if (i % 2 == 0 || lines[i].startsWith('['))
                    out += lines[i] + '\n';
            return out;
        }();
    }
    void fileReadAsTheEditorReadsIt()
    {
        QFETCH(QByteArray, file);
        IniDocument saved = IniDocument::fromBytes(file);
        writeSettings(saved, readSettings(saved));
        const DownloadBuild afterSave = buildDownloadRecords(sourceOf(saved.toBytes()));
        const DownloadBuild expected = buildDownloadRecords(sourceOf(file));
        QVERIFY2(expected.ok(), qPrintable(expected.failures.join(" | ")));
        // The custom outputs are read as Open reads them (a definition list) and saved with
        // their own defaults: the records before them are the ones at stake here.
        const auto setup = [](const QByteArray& records) {
            return records.left(records.indexOf("[CST],"));
        };
        QCOMPARE(setup(expected.records), setup(afterSave.records));

        QByteArray lf = file;
        lf.replace("\r\n", "\n");
        QByteArray cr = lf;
        cr.replace('\n', '\r');
        for (const QByteArray& variant : {file, lf, cr, "\xEF\xBB\xBF" + file}) {
            const DownloadBuild b = buildDownloadRecords(sourceOf(variant));
            QVERIFY2(b.ok(), qPrintable(b.failures.join(" | ")));
            QCOMPARE(b.records, expected.records);
        }
    }
};

QTEST_GUILESS_MAIN(DownloadRecordsTest)
#include "tst_downloadrecords.moc"
