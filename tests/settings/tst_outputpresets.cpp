#include "settings/OutputPresets.h"

#include <QtTest>

using namespace kx;

class TestOutputPresets : public QObject
{
    Q_OBJECT

private slots:
    void fixedDecimalPlaces_data();
    void fixedDecimalPlaces();
    void applyPreset_data();
    void applyPreset();
};

void TestOutputPresets::fixedDecimalPlaces_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("division");
    QTest::addColumn<QByteArray>("places");

    const struct
    {
        const char* name;
        int units, division;
        const char* places;
    } rows[] = {
        {"lb none", 0, -1, "4"}, {"lb 0.0005", 0, 2, "4"},  {"lb 0.001", 0, 3, "3"},
        {"lb 0.01", 0, 6, "2"},  {"lb 1.0", 0, 12, "1"},    {"lb 2.0", 0, 13, "0"},
        {"kg none", 1, -1, "5"}, {"kg 0.00005", 1, 0, "5"}, {"kg 0.0001", 1, 1, "4"},
        {"kg 0.01", 1, 7, "2"},  {"kg 1.0", 1, 13, "1"},    {"kg 2.0", 1, 14, "0"},
        {"oz none", 2, -1, "3"}, {"oz 0.05", 2, 4, "2"},    {"oz 0.5", 2, 7, "1"},
        {"oz 1.0", 2, 8, "0"},   {"g none", 3, -1, "1"},    {"g 0.05", 3, 0, "2"},
        {"g 0.5", 3, 3, "1"},    {"g 1.0", 3, 4, "0"},      {"other unit is lb", 7, 6, "2"},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.units << r.division << QByteArray(r.places);
}

void TestOutputPresets::fixedDecimalPlaces()
{
    QFETCH(int, units);
    QFETCH(int, division);
    QFETCH(QByteArray, places);
    QCOMPARE(kx::fixedDecimalPlaces(units, division), places);
}

void TestOutputPresets::applyPreset_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("division");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");

    const struct
    {
        const char* name;
        int tag, units, division;
        const char* key;
        const char* value;
    } rows[] = {
        {"Toledo keeps its own decimals", preset::Toledo, 0, 6, "Fixed Decimal Places", "0"},
        {"Weightronix decimals follow the division", preset::Weightronix, 0, 6,
         "Fixed Decimal Places", "2"},
        {"Cardinal kg 1.0 has one decimal", preset::Cardinal, 1, 13, "Fixed Decimal Places", "1"},
        {"Cardinal with decimals is Fixed", preset::Cardinal, 1, 13, "Decimal Point", "2"},
        {"Cardinal whole weights trail", preset::Cardinal, 0, 13, "Decimal Point", "3"},
        {"Cardinal polls with ENQ", preset::Cardinal, 0, 12, "Poll Token", "3"},
        {"Cardinal poll code", preset::Cardinal, 0, 12, "Poll Char Token", "5"},
        {"Toledo keeps checksum", preset::Toledo, 0, 12, "Checksum", "1"},
        {"Toledo keeps stream", preset::Toledo, 0, 12, "Stream Format", "<A><B><C><G><T>"},
        {"Toledo leading zeroes", preset::Toledo, 0, 12, "Leading Zeroes", "0"},
        {"Toledo no polarity", preset::Toledo, 0, 12, "Include Polarity", "0"},
        {"Toledo invalid", preset::Toledo, 0, 12, "Invalid Token", "I"},
        {"Weightronix keeps Delimited", preset::Weightronix, 0, 12, "Delimited", "1"},
        {"Weightronix CRLF stop", preset::Weightronix, 0, 12, "Stop Token", "4"},
        {"Weightronix CRLF stop code", preset::Weightronix, 0, 12, "Stop Char Token", "0"},
        {"Weightronix polarity from the common part", preset::Weightronix, 0, 12,
         "Include Polarity", "1"},
        {"Weightronix invalid is a blank", preset::Weightronix, 0, 12, "Invalid Token", " "},
        {"Vantel seven digits", preset::Vantel, 0, 12, "Weight Digits", "7"},
        {"Vantel positive is a space", preset::Vantel, 0, 12, "Positive Polarity Token", "2"},
        {"PLC clears checksum", preset::Plc, 0, 12, "Checksum", "0"},
        {"PLC clears delimited", preset::Plc, 0, 12, "Delimited", "0"},
        {"PLC no poll", preset::Plc, 0, 12, "Poll Token", "0"},
        {"PLC floating point", preset::Plc, 0, 12, "Decimal Point", "1"},
        {"PLC EOT stop", preset::Plc, 0, 12, "Stop Char Token", "4"},
        {"ShipPoint keeps the stream", preset::ShipPoint, 0, 12, "Stream Format", "<X>"},
        {"ShipPoint keeps the start token", preset::ShipPoint, 0, 12, "Start Token", "5"},
        {"ShipPoint start code from the common part", preset::ShipPoint, 0, 12, "Start Char Token",
         "32"},
        {"ShipPoint keeps the decimal point", preset::ShipPoint, 0, 12, "Decimal Point", "3"},
        {"common poll string", preset::ShipPoint, 0, 12, "Poll String", "W<D>"},
        {"common block", preset::Vantel, 0, 12, "Block Token", "0"},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.tag << r.units << r.division << QByteArray(r.key)
                              << QByteArray(r.value);
}

void TestOutputPresets::applyPreset()
{
    QFETCH(int, tag);
    QFETCH(int, units);
    QFETCH(int, division);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);

    // A definition with every "keep" value set away from the first item, to see which stay.
    OutputDefinition base = blankDefinition();
    base.setValue("Checksum", "1");
    base.setValue("Delimited", "1");
    base.setValue("Stream Format", "<X>");
    base.setValue("Start Token", "5");
    base.setValue("Leading Zeroes", "1");
    base.setValue("Decimal Point", "3");

    const OutputDefinition d = kx::applyPreset(base, tag, units, division);
    QCOMPARE(d.value(key), value);
    // A preset only changes values: the keys and their order stay.
    QCOMPARE(d.lines().size(), base.lines().size());
}

QTEST_GUILESS_MAIN(TestOutputPresets)
#include "tst_outputpresets.moc"
