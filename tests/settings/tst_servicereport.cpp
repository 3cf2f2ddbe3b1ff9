// What a service report says, from a logbook and the files it names: which writes are the
// visit's, where as found and as left come from, and what is said when one is not known. And
// the logbook head a report carries, read back.
#include "settings/ReportStamp.h"
#include "settings/ServiceReport.h"

#include <QCryptographicHash>
#include <QMap>
#include <QTest>

using namespace kx;

namespace {

const QDateTime Now(QDate(2026, 12, 10), QTime(16, 0), Qt::OffsetFromUTC, 3600);

QByteArray setup(int com1Baud, int com2Baud = 2)
{
    return QStringLiteral("[Configuration]\r\nCom1 Baud=%1\r\nCom2 Baud=%2\r\n")
        .arg(com1Baud)
        .arg(com2Baud)
        .toLatin1();
}

QString sha(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A visit: its logbook and the files its lines name.
struct Visit
{
    QByteArray logbook;
    QMap<QString, QByteArray> files;

    void write(const QString& action, const QString& device, const QDateTime& at,
               const QString& file, const QByteArray& sent, const QString& backup = {},
               const QString& verify = "verified")
    {
        LogbookEntry e;
        e.time = at;
        e.device = device;
        e.action = action;
        e.file = file;
        e.fileSha256 = sha(sent);
        e.backup = backup;
        e.outcome = "completed";
        e.verify = verify;
        files.insert(file, sent);
        const auto lines = logbook::parse(logbook);
        const QByteArray prev =
            lines.isEmpty() ? QByteArray(64, '0') : logbook::sha256Hex(lines.last().text);
        logbook += logbook::lineFor(e, prev) + '\n';
    }

    ReportInputs inputs() const
    {
        ReportInputs in;
        in.logbook = logbook;
        in.device = "/dev/ttyUSB0";
        in.now = Now;
        in.scope.carriedOnly = true;
        in.readFile = [files = files](const QString& path, QString* why) {
            if (!files.contains(path)) {
                *why = path + ": no such file";
                return std::optional<QByteArray>();
            }
            return std::optional(files.value(path));
        };
        return in;
    }
};

QDateTime at(int hour)
{
    return QDateTime(Now.date(), QTime(hour, 0), Qt::OffsetFromUTC, 3600);
}

} // namespace

class ServiceReportTest : public QObject
{
    Q_OBJECT

private slots:
    void visitWithoutARead()
    {
        Visit v;
        v.write("download", "/dev/ttyUSB0", at(9).addDays(-1), "old.dat", setup(3), "b0.dat");
        v.write("download", "/dev/ttyS9", at(10), "other.dat", setup(5), "b1.dat");
        v.files.insert("b2.dat", setup(2));
        v.write("download", "/dev/ttyUSB0", at(11), "a.dat", setup(4), "b2.dat");
        v.write("firmware update", "/dev/ttyUSB0", at(12), "fw.hex", "hex", {}, "not verified");
        v.write("download", "/dev/ttyUSB0", at(13), "b.dat", setup(4, 5), "b3.dat");
        QString why;
        const auto r = composeReport(v.inputs(), &why);
        QVERIFY2(r, qPrintable(why));
        // Yesterday's write and another indicator's are not the visit.
        QCOMPARE(r->writes.size(), 3);
        QCOMPARE(r->from, at(11));
        QVERIFY(r->foundFrom.contains("b2.dat"));
        QVERIFY(r->leftFrom.contains("b.dat"));
        QVERIFY(r->verified.startsWith("Verified: the KX7400 holds all"));
        QVERIFY(r->changesKnown);
        QCOMPARE(r->changes.size(), 2);
        QCOMPARE(r->changes[0].caption, "Com1 / Baud");
        QCOMPARE(r->changes[0].from, "9600");
        QCOMPARE(r->changes[0].to, "38400");
        QCOMPARE(r->changes[1].caption, "Com2 / Baud");
        QCOMPARE(r->head.lines, 5);
        QVERIFY(r->chainWhole);

        ReportInputs since = v.inputs();
        since.since = at(12);
        QCOMPARE(composeReport(since, &why)->writes.size(), 2);
    }

    // When the logbook cannot tell, the report says so, or is refused without a read.
    void whatIsNotKnown_data()
    {
        QTest::addColumn<QString>("visit");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("said");
        QTest::newRow("the file sent changed since") << "edited" << false << "--read";
        QTest::newRow("an update after the download") << "update last" << false << "--read";
        QTest::newRow("nothing sent") << "none" << false << "--read";
        QTest::newRow("no backup before the first") << "no backup" << true << "Not known";
        QTest::newRow("the read is not what was sent") << "clamped" << true << "Not as sent";
        QTest::newRow("an inspection") << "none" << true << "nothing was sent";
    }
    void whatIsNotKnown()
    {
        QFETCH(QString, visit);
        QFETCH(bool, read);
        QFETCH(QString, said);
        Visit v;
        v.files.insert("b1.dat", setup(2));
        v.write("download", "/dev/ttyUSB0", at(10), "a.dat", setup(4),
                visit == "no backup" ? QString() : "b1.dat");
        if (visit == "none")
            v = Visit();
        if (visit == "edited")
            v.files["a.dat"] = setup(6);
        if (visit == "update last")
            v.write("firmware update", "/dev/ttyUSB0", at(11), "fw.hex", "hex", {}, "not verified");
        ReportInputs in = v.inputs();
        if (read)
            in.readNow = visit == "clamped" ? setup(3) : setup(4);
        QString why;
        const auto r = composeReport(in, &why);
        QCOMPARE(r.has_value(), read);
        if (!r) {
            QVERIFY2(why.contains(said), qPrintable(why));
            return;
        }
        QVERIFY2((r->foundFrom + r->verified).contains(said),
                 qPrintable(r->foundFrom + " | " + r->verified));
        if (visit == "no backup")
            QVERIFY(!r->changesKnown && r->found.isEmpty());
        if (visit == "clamped")
            QCOMPARE(r->notAsSent.size(), 1);
        if (visit == "none") {
            QCOMPARE(r->found.size(), r->left.size());
            QVERIFY(r->changesKnown && r->changes.isEmpty());
        }
    }

    void theStampReadsBack_data()
    {
        const QByteArray head = logbook::sha256Hex("a line");
        const QByteArray xmp = report::xmpFor({head, 7}, "Service report <&>");
        QTest::addColumn<QByteArray>("pdf");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("as written") << "%PDF-1.4\n" + xmp + "\n%%EOF" << head;
        QTest::newRow("twice, the same") << xmp + xmp << head;
        QTest::newRow("upper case") << QByteArray(xmp).replace(head, head.toUpper()) << head;
        QTest::newRow("none") << QByteArray("%PDF-1.4\n%%EOF") << QByteArray();
        QTest::newRow("two that differ")
            << xmp + report::xmpFor({logbook::sha256Hex("other"), 7}, "x") << QByteArray();
        QTest::newRow("a head cut short") << xmp.left(xmp.indexOf(head) + 30) << QByteArray();
        QTest::newRow("no line count")
            << QByteArray(xmp).replace("logbookLines", "x") << QByteArray();
        QTest::newRow("an empty logbook") << report::xmpFor({{}, 0}, "x") << QByteArray();
    }
    void theStampReadsBack()
    {
        QFETCH(QByteArray, pdf);
        QFETCH(QByteArray, head);
        QString why;
        const auto stamp = report::stampIn(pdf, &why);
        QCOMPARE(stamp.has_value(), !head.isEmpty());
        QCOMPARE(why.isEmpty(), stamp.has_value());
        if (stamp) {
            QCOMPARE(stamp->head, head);
            QCOMPARE(stamp->lines, 7);
        }
    }
};

QTEST_GUILESS_MAIN(ServiceReportTest)
#include "tst_servicereport.moc"
