#include "settings/IniDocument.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kx;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestIniDocument : public QObject
{
    Q_OBJECT

private slots:
    void readValue_data();
    void readValue();
    void parseInteger_data();
    void parseInteger();
    void readIntegerFallsBackToDefault();
    void write_data();
    void write();
    void erase();
    void entriesKeepBlanksAndOrder();
    void saveReplacesWholeFile();
    void saveRefusesReadOnlyFileAndLeavesIt();
    void saveRefusesMissingFolder();
    void loadOfMissingFileFails();
};

void TestIniDocument::readValue_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("value");

    const QByteArray base = "[Configuration]\r\nCom1 Baud=6\r\nCustom Name = Barrels \r\n"
                            "; Time=1\r\n[Calibration]\r\nScale Capacity=5000\r\n";
    QTest::newRow("plain") << base << QByteArray("Configuration") << QByteArray("Com1 Baud") << true
                           << QByteArray("6");
    QTest::newRow("names ignore case") << base << QByteArray("CONFIGURATION")
                                       << QByteArray("com1 baud") << true << QByteArray("6");
    QTest::newRow("blanks around name and value")
        << base << QByteArray("Configuration") << QByteArray("Custom Name") << true
        << QByteArray("Barrels");
    QTest::newRow("comment is no key")
        << base << QByteArray("Configuration") << QByteArray("Time") << false << QByteArray();
    QTest::newRow("key of another section")
        << base << QByteArray("Configuration") << QByteArray("Scale Capacity") << false
        << QByteArray();
    QTest::newRow("missing section")
        << base << QByteArray("Ticket") << QByteArray("Printer") << false << QByteArray();
    QTest::newRow("LF line ends") << QByteArray("[A]\nk=v\n") << QByteArray("A") << QByteArray("k")
                                  << true << QByteArray("v");
    QTest::newRow("no final line end") << QByteArray("[A]\r\nk=v") << QByteArray("A")
                                       << QByteArray("k") << true << QByteArray("v");
    QTest::newRow("8-bit text kept") << QByteArray("[A]\r\nk=\xe9t\xe9\xff\r\n") << QByteArray("A")
                                     << QByteArray("k") << true << QByteArray("\xe9t\xe9\xff");
    QTest::newRow("value holds an equals sign") << QByteArray("[A]\r\nk=a=b\r\n") << QByteArray("A")
                                                << QByteArray("k") << true << QByteArray("a=b");
    QTest::newRow("first key wins across repeated sections")
        << QByteArray("[A]\r\nk=1\r\n[B]\r\n[A]\r\nk=2\r\nj=3\r\n") << QByteArray("A")
        << QByteArray("k") << true << QByteArray("1");
    QTest::newRow("repeated section still found")
        << QByteArray("[A]\r\nk=1\r\n[B]\r\n[A]\r\nk=2\r\nj=3\r\n") << QByteArray("A")
        << QByteArray("j") << true << QByteArray("3");
    QTest::newRow("long value cut")
        << QByteArray("[A]\r\nk=" + QByteArray(3000, 'x') + "\r\n") << QByteArray("A")
        << QByteArray("k") << true << QByteArray(IniDocument::MaxValueLength, 'x');
}

void TestIniDocument::readValue()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(bool, present);
    QFETCH(QByteArray, value);

    const IniDocument doc = IniDocument::fromBytes(file);
    QCOMPARE(doc.hasKey(section, key), present);
    const auto v = doc.value(section, key);
    QCOMPARE(v.has_value(), present);
    if (present)
        QCOMPARE(*v, value);
    QCOMPARE(doc.readString(section, key, "def"), present ? value : QByteArray("def"));
}

void TestIniDocument::parseInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("decimal") << QByteArray("42") << true << 42;
    QTest::newRow("negative") << QByteArray("-1") << true << -1;
    QTest::newRow("hex lower") << QByteArray("0x1F") << true << 31;
    QTest::newRow("hex upper") << QByteArray("0X1f") << true << 31;
    QTest::newRow("blanks") << QByteArray(" 7 ") << true << 7;
    QTest::newRow("trailing letters") << QByteArray("12a") << false << 0;
    QTest::newRow("fraction") << QByteArray("1.5") << false << 0;
    QTest::newRow("empty") << QByteArray("") << false << 0;
    QTest::newRow("bare hex prefix") << QByteArray("0x") << false << 0;
    QTest::newRow("too large") << QByteArray("99999999999") << false << 0;
}

void TestIniDocument::parseInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const auto v = IniDocument::parseInteger(text);
    QCOMPARE(v.has_value(), ok);
    if (ok)
        QCOMPARE(*v, value);
}

void TestIniDocument::readIntegerFallsBackToDefault()
{
    const IniDocument doc = IniDocument::fromBytes("[A]\r\nn=abc\r\nh=0x10\r\nz=0\r\n");
    QCOMPARE(doc.readInteger("A", "n", 3), 3);
    QCOMPARE(doc.readInteger("A", "missing", 5), 5);
    QCOMPARE(doc.readInteger("A", "h", 0), 16);
    QCOMPARE(doc.readBool("A", "h", false), true);
    QCOMPARE(doc.readBool("A", "z", true), false);
    QCOMPARE(doc.readBool("A", "n", true), true);
}

void TestIniDocument::write_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray handEdited =
        "; kept comment\r\n[A]\r\nx=1\r\nOther=keep\r\n\r\n[B]\r\ny=2\r\n";
    QTest::newRow("replace in place, case of the file's name kept")
        << handEdited << QByteArray("a") << QByteArray("X") << QByteArray("9")
        << QByteArray("; kept comment\r\n[A]\r\nx=9\r\nOther=keep\r\n\r\n[B]\r\ny=2\r\n");
    QTest::newRow("new key after the section's last key, before the blank line")
        << handEdited << QByteArray("A") << QByteArray("z") << QByteArray("3")
        << QByteArray("; kept comment\r\n[A]\r\nx=1\r\nOther=keep\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
    QTest::newRow("new key in the last section")
        << handEdited << QByteArray("B") << QByteArray("w") << QByteArray("")
        << QByteArray("; kept comment\r\n[A]\r\nx=1\r\nOther=keep\r\n\r\n[B]\r\ny=2\r\nw=\r\n");
    QTest::newRow("new section at the end") << handEdited << QByteArray("C") << QByteArray("k")
                                            << QByteArray("v") << handEdited + "[C]\r\nk=v\r\n";
    QTest::newRow("empty document") << QByteArray() << QByteArray("A") << QByteArray("k")
                                    << QByteArray("v") << QByteArray("[A]\r\nk=v\r\n");
    QTest::newRow("LF file comes back with CR LF")
        << QByteArray("[A]\nk=1\n") << QByteArray("A") << QByteArray("k") << QByteArray("2")
        << QByteArray("[A]\r\nk=2\r\n");
    QTest::newRow("8-bit value written as bytes")
        << QByteArray("[A]\r\n") << QByteArray("A") << QByteArray("k") << QByteArray("\xb0\xe9")
        << QByteArray("[A]\r\nk=\xb0\xe9\r\n");
    QTest::newRow("line break in a value cannot start a key")
        << QByteArray("[A]\r\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("a\r\n[B]\nz=1") << QByteArray("[A]\r\nk=a  [B] z=1\r\n");
    QTest::newRow("only the first of duplicate keys is replaced")
        << QByteArray("[A]\r\nk=1\r\nk=2\r\n") << QByteArray("A") << QByteArray("k")
        << QByteArray("3") << QByteArray("[A]\r\nk=3\r\nk=2\r\n");
}

void TestIniDocument::write()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);

    IniDocument doc = IniDocument::fromBytes(file);
    doc.writeString(section, key, value);
    QCOMPARE(doc.toBytes(), expected);
}

void TestIniDocument::erase()
{
    IniDocument doc = IniDocument::fromBytes("[A]\r\nk=1\r\nj=2\r\n[B]\r\nm=3\r\n[A]\r\nk=4\r\n");
    doc.eraseKey("a", "K");
    QCOMPARE(doc.toBytes(), QByteArray("[A]\r\nj=2\r\n[B]\r\nm=3\r\n[A]\r\n"));
    doc.eraseSection("A");
    QCOMPARE(doc.toBytes(), QByteArray("[B]\r\nm=3\r\n"));
    QCOMPARE(doc.sections(), QList<QByteArray>{"B"});
}

void TestIniDocument::entriesKeepBlanksAndOrder()
{
    const IniDocument doc = IniDocument::fromBytes(
        "[Custom Output]\r\nStream Format=<G>\r\n; note\r\nOK Token= \r\nno equals\r\n"
        "Motion Token=M\r\n[Other]\r\nx=1\r\n");
    const QList<std::pair<QByteArray, QByteArray>> expected = {
        {"Stream Format", "<G>"}, {"OK Token", " "}, {"Motion Token", "M"}};
    QCOMPARE(doc.entries("custom output"), expected);
    QCOMPARE(doc.keys("Custom Output"),
             (QList<QByteArray>{"Stream Format", "OK Token", "Motion Token"}));
    QVERIFY(doc.entries("Missing").isEmpty());
}

void TestIniDocument::saveReplacesWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.dat");
    QVERIFY(writeFile(path, "[A]\nk=1\nforeign=x\n"));

    IniDocument doc;
    QVERIFY(doc.load(path));
    doc.writeString("A", "k", "2");
    QVERIFY(doc.save(path));
    QCOMPARE(readFile(path), QByteArray("[A]\r\nk=2\r\nforeign=x\r\n"));
    // Only the file itself is left: the temporary copy was renamed over it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.dat"});
}

void TestIniDocument::saveRefusesReadOnlyFileAndLeavesIt()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ro.dat");
    QVERIFY(writeFile(path, "[A]\r\nk=1\r\n"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser));

    IniDocument doc;
    QVERIFY(doc.load(path));
    doc.writeString("A", "k", "2");
    QString error;
    QVERIFY(!doc.save(path, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(path), QByteArray("[A]\r\nk=1\r\n"));
}

void TestIniDocument::saveRefusesMissingFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gone/a.dat");
    const IniDocument doc = IniDocument::fromBytes("[A]\r\nk=1\r\n");
    QVERIFY(!doc.save(path));
    QVERIFY(!QFileInfo::exists(path));
}

void TestIniDocument::loadOfMissingFileFails()
{
    QTemporaryDir dir;
    IniDocument doc = IniDocument::fromBytes("[A]\r\nk=1\r\n");
    QVERIFY(!doc.load(dir.filePath("none.dat")));
    QVERIFY(doc.toBytes().isEmpty());
}

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
