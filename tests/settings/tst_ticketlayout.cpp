#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"
#include "settings/TicketLayout.h"

#include <climits>

#include <QtTest>

using namespace kx;

class TestTicketLayout : public QObject
{
    Q_OBJECT

private slots:
    void snap_data();
    void snap();
    void lineHeight_data();
    void lineHeight();
    void charWidth_data();
    void charWidth();
    void cleanCell_data();
    void cleanCell();
    void pageBox_data();
    void pageBox();
    void tables();
    void handEditedFileIsHeldToRange();
};

void TestTicketLayout::snap_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("snapped");
    QTest::addColumn<int>("cell");

    QTest::newRow("left 101 at 12") << 101 << 12 << 96 << 8;
    QTest::newRow("top 41 at 16") << 41 << 16 << 48 << 3;
    QTest::newRow("exact half goes down") << 102 << 12 << 96 << 8;
    QTest::newRow("past the half goes up") << 103 << 12 << 108 << 9;
    QTest::newRow("on the pitch") << 96 << 12 << 96 << 8;
    QTest::newRow("zero") << 0 << 12 << 0 << 0;
    QTest::newRow("negative near zero") << -5 << 12 << 0 << 0;
    QTest::newRow("negative keeps its place") << -13 << 12 << -12 << 0;
    QTest::newRow("negative remainder never passes the half") << -30 << 16 << -16 << 0;
    QTest::newRow("after 6 to 8 lines per inch") << 41 << 12 << 36 << 3;
    QTest::newRow("no pitch leaves it") << 41 << 0 << 41 << 0;
    // Positions at the ends of the int range snap without overflowing on the way.
    QTest::newRow("largest position, up past the half") << INT_MAX << 12 << INT_MAX << INT_MAX / 12;
    QTest::newRow("smallest position") << INT_MIN << 16 << INT_MIN << 0;
    QTest::newRow("smallest position, off the pitch") << INT_MIN + 1 << 12 << INT_MIN + 8 << 0;
}

void TestTicketLayout::snap()
{
    QFETCH(int, raw);
    QFETCH(int, step);
    QFETCH(int, snapped);
    QFETCH(int, cell);
    QCOMPARE(snapToPitch(raw, step), snapped);
    QCOMPARE(pitchCell(snapped, step), cell);
}

void TestTicketLayout::lineHeight_data()
{
    QTest::addColumn<int>("ppi");
    QTest::addColumn<int>("lpi");
    QTest::addColumn<int>("height");

    QTest::newRow("96 at 6") << 96 << 6 << 16;
    QTest::newRow("96 at 8") << 96 << 8 << 12;
    QTest::newRow("96 at 12") << 96 << 12 << 8;
    QTest::newRow("truncated") << 120 << 8 << 15;
    QTest::newRow("no resolution") << 0 << 6 << 16;
    QTest::newRow("lines/inch below the list") << 96 << 1 << 16;
    QTest::newRow("lines/inch beyond the list") << 96 << 2147483647 << 8;
    QTest::newRow("a resolution no screen has") << INT_MAX << 6 << 1666;
}

void TestTicketLayout::lineHeight()
{
    QFETCH(int, ppi);
    QFETCH(int, lpi);
    QFETCH(int, height);
    QCOMPARE(ticketLineHeight(ppi, lpi), height);
}

void TestTicketLayout::charWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");

    QTest::newRow("default") << "12" << 12;
    QTest::newRow("ten") << "10" << 10;
    QTest::newRow("zero means 12") << "0" << 12;
    QTest::newRow("text means 12") << "ab" << 12;
    QTest::newRow("empty means 12") << "" << 12;
    QTest::newRow("largest int held to two digits") << "2147483647" << 99;
    QTest::newRow("negative held to 1") << "-5" << 1;
}

void TestTicketLayout::charWidth()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QCOMPARE(ticketCharWidth(text), width);
}

void TestTicketLayout::cleanCell_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("value");

    QTest::newRow("digits") << "12"
                            << "12" << 12;
    QTest::newRow("letter after 12") << "12a"
                                     << "12" << 12;
    QTest::newRow("fourth digit cut") << "1234"
                                      << "123" << 123;
    QTest::newRow("lone letter") << "x"
                                 << "" << 0;
    QTest::newRow("empty") << ""
                           << "" << 0;
}

void TestTicketLayout::cleanCell()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(int, value);
    QCOMPARE(cleanTicketCell(typed), kept);
    QCOMPARE(leadingNumber(kept), value);
}

void TestTicketLayout::pageBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("inches");

    QTest::newRow("whole") << "6"
                           << "6.0" << 6.0;
    QTest::newRow("one decimal") << "5.5"
                                 << "5.5" << 5.5;
    QTest::newRow("trailing point") << "3."
                                    << "3.0" << 3.0;
    QTest::newRow("two decimals") << "0.25"
                                  << "0.25" << 0.25;
    QTest::newRow("three decimals round") << "1.375"
                                          << "1.38" << 1.375;
    QTest::newRow("text") << "abc"
                          << "0.0" << 0.0;
    QTest::newRow("empty") << ""
                           << "0.0" << 0.0;
    QTest::newRow("leading point") << ".125"
                                   << "0.13" << 0.125;
}

void TestTicketLayout::pageBox()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(double, inches);
    QCOMPARE(formatPageBox(text), shown);
    QCOMPARE(pageInches(text), inches);
}

void TestTicketLayout::tables()
{
    QCOMPARE(printerPapers().size(), 5u);
    const PrinterPaper& epson = printerPapers()[3];
    QCOMPARE(QByteArray(epson.printer), "Epson TM-U295");
    QCOMPARE(QByteArray(epson.height) + "x" + epson.width + " top " + epson.top,
             QByteArray("5.5x3.0 top 1.5"));
    QCOMPARE(ticketLabelHint("Time", "10", "8", 16, 100), QString("(Time,10,8,16,100)"));
}


// A file only a hand edit makes: the record holds its places to 0..9999 where it is read, and
// every product the designer forms stays far inside the int range.
void TestTicketLayout::handEditedFileIsHeldToRange()
{
    const IniDocument doc = IniDocument::fromBytes(
        "[Ticket Format]\r\nTime Visible=1\r\nTime Row=200000000\r\nTime Col=-7\r\n"
        "Date Row=99999999999999\r\n[Ticket]\r\nChar Width=2147483647\r\n"
        "[Page Size]\r\nHeight=1e308\r\nWidth=-5\r\n");
    const SettingsRecord r = readSettings(doc);
    QCOMPARE(r.ticket[0].row, QByteArray("9999"));
    QCOMPARE(r.ticket[0].col, QByteArray("0"));
    QCOMPARE(leadingNumber(QString::fromLatin1(r.ticket[1].row)), 10); // not a number: default
    QCOMPARE(leadingNumber(QStringLiteral("200000000")), MaxTicketCell);
    const int width = ticketCharWidth(QString::fromLatin1(r.value("CharWidth")));
    QCOMPARE(width, MaxCharWidth);
    QCOMPARE(MaxTicketCell * width, 989901);
    QCOMPARE(pageInches(QString::fromLatin1(r.value("EditHeight"))), MaxPageInches);
    QCOMPARE(pageInches(QString::fromLatin1(r.value("EditWidth"))), 0.0);
}

QTEST_GUILESS_MAIN(TestTicketLayout)
#include "tst_ticketlayout.moc"
