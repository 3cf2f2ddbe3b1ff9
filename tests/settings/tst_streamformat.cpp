#include "settings/SettingsSchema.h"
#include "settings/StreamFormat.h"
#include "settings/WrapperCodes.h"

#include <QtTest>

using namespace kx;

using Pair = QPair<QByteArray, QByteArray>;

class TestStreamFormat : public QObject
{
    Q_OBJECT

private slots:
    void parseAndRebuild_data();
    void parseAndRebuild();
    void longStreamIsParsedToTheGridsEnd();
    void textGetsBracketsOnlyInTheStream_data();
    void textGetsBracketsOnlyInTheStream();
    void rowWithoutTypeLosesItsValue();
    void removeRow_data();
    void removeRow();
    void menuItemToken_data();
    void menuItemToken();
    void wrapperCharName_data();
    void wrapperCharName();
    void wrapperCode_data();
    void wrapperCode();
};

static QList<Pair> filled(const OutputRows& rows)
{
    // The rows up to the last filled one, so a table row can show empty rows between items.
    qsizetype last = rows.size();
    while (last > 0 && rows[last - 1].value.isEmpty() && rows[last - 1].type.isEmpty())
        --last;
    QList<Pair> out;
    for (qsizetype i = 0; i < last; ++i)
        out.append({rows[i].type, rows[i].value});
    return out;
}

void TestStreamFormat::parseAndRebuild_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QList<Pair>>("rows");
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("display");

    QTest::newRow("Cardinal round trip")
        << QByteArray("<W><S>[ ]<U>[ ]<M>[  ]")
        << QList<Pair>{{"Displayed Weight", "<W>"},
                       {"Scale Status", "<S>"},
                       {"Text", "[ ]"},
                       {"Units Token", "<U>"},
                       {"Text", "[ ]"},
                       {"Mode Token (G,T,N)", "<M>"},
                       {"Text", "[  ]"}}
        << QByteArray("<W><S>[ ]<U>[ ]<M>[  ]") << QByteArray("<W> <S> [ ] <U> [ ] <M> [  ] ");
    QTest::newRow("unknown letter leaves an empty row")
        << QByteArray("<G><Z><T>")
        << QList<Pair>{{"Gross Weight", "<G>"}, {"", ""}, {"Tare Weight", "<T>"}}
        << QByteArray("<G><T>") << QByteArray("<G> <T> ");
    QTest::newRow("hex code is an unknown token, its tail skipped")
        << QByteArray("<1C><W>") << QList<Pair>{{"", ""}, {"Displayed Weight", "<W>"}}
        << QByteArray("<W>") << QByteArray("<W> ");
    QTest::newRow("letters are case-sensitive")
        << QByteArray("<t><T><p><a><d><I><L>") << QList<Pair>{{"Time", "<t>"},
                                                              {"Tare Weight", "<T>"},
                                                              {"Piece Count", "<p>"},
                                                              {"Accumulation", "<a>"},
                                                              {"Date", "<d>"},
                                                              {"ID", "<I>"},
                                                              {"Load Cell Status", "<L>"}}
        << QByteArray("<t><T><p><a><d><I><L>") << QByteArray("<t> <T> <p> <a> <d> <I> <L> ");
    QTest::newRow("characters between items are skipped")
        << QByteArray("x<G>yz[a]") << QList<Pair>{{"Gross Weight", "<G>"}, {"Text", "[a]"}}
        << QByteArray("<G>[a]") << QByteArray("<G> [a] ");
    QTest::newRow("unclosed bracket takes the rest")
        << QByteArray("<G>[ab<T>") << QList<Pair>{{"Gross Weight", "<G>"}, {"Text", "[ab<T>]"}}
        << QByteArray("<G>[ab<T>]") << QByteArray("<G> [ab<T>] ");
    QTest::newRow("lone opening angle at the end")
        << QByteArray("<G><") << QList<Pair>{{"Gross Weight", "<G>"}} << QByteArray("<G>")
        << QByteArray("<G> ");
    QTest::newRow("empty source") << QByteArray() << QList<Pair>{} << QByteArray() << QByteArray();
}

void TestStreamFormat::parseAndRebuild()
{
    QFETCH(QByteArray, source);
    QFETCH(QList<Pair>, rows);
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, display);

    const OutputRows parsed = parseStreamFormat(source);
    QCOMPARE(parsed.size(), OutputGridRows);
    QCOMPARE(filled(parsed), rows);
    const BuiltStream b = rebuildStreamFormat(parsed, false);
    QCOMPARE(b.stream, built);
    QCOMPARE(b.display, display);
}

void TestStreamFormat::longStreamIsParsedToTheGridsEnd()
{
    // A stored string longer than any working buffer: the grid fills to its last row, and a
    // text item keeps its first 511 characters.
    QByteArray source;
    for (int i = 0; i < 70; ++i)
        source += "<G>";
    OutputRows rows = parseStreamFormat(source);
    QCOMPARE(rows.size(), OutputGridRows);
    QCOMPARE(rows.last(), (OutputRow{"Gross Weight", "<G>"}));
    QCOMPARE(rebuildStreamFormat(rows, false).stream.size(), 64 * 3);

    const QByteArray longText(2000, 'x');
    rows = parseStreamFormat("[" + longText + "]<T>");
    QCOMPARE(rows[0].value, "[" + longText.left(StreamTextCap) + "]");
    QCOMPARE(rows[1], (OutputRow{"Tare Weight", "<T>"}));
}

void TestStreamFormat::textGetsBracketsOnlyInTheStream_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("inStream");

    QTest::newRow("plain text") << QByteArray("ab") << QByteArray("[ab]");
    QTest::newRow("already bracketed") << QByteArray("[ab]") << QByteArray("[ab]");
    QTest::newRow("a bracket anywhere counts") << QByteArray("a[b") << QByteArray("a[b");
}

void TestStreamFormat::textGetsBracketsOnlyInTheStream()
{
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, inStream);
    OutputRows rows(OutputGridRows);
    rows[0] = {"Text", typed};
    const BuiltStream b = rebuildStreamFormat(rows, true);
    QCOMPARE(b.stream, inStream);
    QCOMPARE(b.display, inStream + ", ");
    QCOMPARE(b.rows[0].value, typed);
    QCOMPARE(bracketedText(typed), inStream);
}

void TestStreamFormat::rowWithoutTypeLosesItsValue()
{
    OutputRows rows(OutputGridRows);
    rows[0] = {"", "[x]"};
    rows[1] = {"Net Weight", "<N>"};
    const BuiltStream b = rebuildStreamFormat(rows, false);
    QCOMPARE(b.stream, QByteArray("<N>"));
    QCOMPARE(b.rows[0], OutputRow{});
}

void TestStreamFormat::removeRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("first row") << 0 << QByteArray("<T><N>");
    QTest::newRow("middle row") << 1 << QByteArray("<G><N>");
    QTest::newRow("last filled row") << 2 << QByteArray("<G><T>");
    QTest::newRow("row 64") << 63 << QByteArray("<G><T><N>");
    QTest::newRow("outside the grid") << 64 << QByteArray("<G><T><N>");
}

void TestStreamFormat::removeRow()
{
    QFETCH(int, row);
    QFETCH(QByteArray, after);
    const OutputRows rows = removeOutputRow(parseStreamFormat("<G><T><N>"), row);
    QCOMPARE(rows.size(), OutputGridRows);
    QCOMPARE(rebuildStreamFormat(rows, false).stream, after);
    QCOMPARE(rows.last(), OutputRow{});
}

void TestStreamFormat::menuItemToken_data()
{
    QTest::addColumn<QByteArray>("caption");
    QTest::addColumn<QByteArray>("token");

    QTest::newRow("status byte") << QByteArray("Status Byte C") << QByteArray("<C>");
    QTest::newRow("time") << QByteArray("Time") << QByteArray("<t>");
    QTest::newRow("tare") << QByteArray("Tare Weight") << QByteArray("<T>");
    QTest::newRow("text") << QByteArray("Text") << QByteArray();
    QTest::newRow("remove") << QByteArray("<< Remove >>") << QByteArray();
    QTest::newRow("parsed-only name") << QByteArray("Load Cell Status") << QByteArray();
}

void TestStreamFormat::menuItemToken()
{
    QFETCH(QByteArray, caption);
    QFETCH(QByteArray, token);
    QCOMPARE(kx::menuItemToken(caption), token);
}

void TestStreamFormat::wrapperCharName_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("negative") << -3 << QByteArray();
    QTest::newRow("zero") << 0 << QByteArray();
    QTest::newRow("SOH") << 1 << QByteArray("SOH");
    QTest::newRow("CR") << 13 << QByteArray("CR");
    QTest::newRow("US") << 31 << QByteArray("US");
    QTest::newRow("space") << 32 << QByteArray("<SP>");
    QTest::newRow("letter") << 65 << QByteArray("[A]");
    QTest::newRow("CR LF pseudo-code") << 153 << QByteArray("[\x99]");
}

void TestStreamFormat::wrapperCharName()
{
    QFETCH(int, code);
    QFETCH(QByteArray, name);
    QCOMPARE(kx::wrapperCharName(code), name);
    if (code >= 1 && code <= 32)
        QCOMPARE(charMenuItems().at(code - 1), code == 32 ? name : "<" + name + ">");
}

void TestStreamFormat::wrapperCode_data()
{
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("code");

    QTest::newRow("poll SPACE") << QByteArray("Poll Token") << 1 << 32;
    QTest::newRow("poll user char") << QByteArray("Poll Token") << 5 << 77;
    QTest::newRow("poll user string") << QByteArray("Poll Token") << 6 << 0;
    QTest::newRow("start SOH") << QByteArray("Start Token") << 1 << 1;
    QTest::newRow("start CRLF") << QByteArray("Start Token") << 5 << 153;
    QTest::newRow("start user") << QByteArray("Start Token") << 6 << 77;
    QTest::newRow("stop EOT") << QByteArray("Stop Token") << 2 << 4;
    QTest::newRow("stop CRLF") << QByteArray("Stop Token") << 4 << 153;
    QTest::newRow("stop user") << QByteArray("Stop Token") << 5 << 77;
    QTest::newRow("block LF") << QByteArray("Block Token") << 3 << 10;
    QTest::newRow("block user") << QByteArray("Block Token") << 5 << 77;
    QTest::newRow("no item") << QByteArray("Block Token") << -1 << 0;
    QTest::newRow("past the list") << QByteArray("Stop Token") << 6 << 0;
}

void TestStreamFormat::wrapperCode()
{
    QFETCH(QByteArray, token);
    QFETCH(int, item);
    QFETCH(int, code);
    const OutputKeyDesc* desc = findOutputKey(token);
    QVERIFY(desc);
    QCOMPARE(kx::wrapperCode(*desc, item, 77), code);
}

QTEST_GUILESS_MAIN(TestStreamFormat)
#include "tst_streamformat.moc"
