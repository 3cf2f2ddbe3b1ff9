#include "RecordLayout.h"

#include <QSet>

namespace kx::sim::layout {

namespace {

// One letter per field:
//   1 one decimal digit           2 two decimal digits
//   T any text without a comma    Q text between double quotes
//   F a decimal number, possibly padded with leading blanks to its stored width
//   H hexadecimal, at least two digits      h as H, or empty
//   r n s M D Y  the [TAD] fields: hours, minutes, seconds, month, day, two-digit year
struct Shape
{
    const char* tag;
    const char* fields; // nullptr: the record has its own rules
};

const Shape Shapes[] = {
    {"[CFG],", "11111111QFT1111112"
               "1111111111"},
    {"[CAL],", "T111T11"},
    {"[ANY],", "T1111"},
    {"[420],", "TT11TT"},
    {"[TKT],", nullptr},
    {"[PRN],", "1121"},
    {"[CST],", nullptr},
    {"[CFM],", "111T111T1111HT1H1H1HTTTTTTTTT"},
    {"[CS2],", nullptr},
    {"[CF2],", "111T111T1111hT1h1h1hTTTTTTTTT"},
    {"[TAD],", "rnsMDY"},
};

const Shape* shapeOf(const QByteArray& tag)
{
    for (const Shape& s : Shapes) {
        if (tag == s.tag)
            return &s;
    }
    return nullptr;
}

bool allDigits(const QByteArray& s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool allHex(const QByteArray& s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!hex)
            return false;
    }
    return true;
}

bool twoDigitsIn(const QByteArray& s, int low, int high)
{
    if (s.size() != 2 || !allDigits(s))
        return false;
    const int v = s.toInt();
    return v >= low && v <= high;
}

bool decimalNumber(QByteArray s)
{
    while (s.startsWith(' '))
        s.remove(0, 1);
    if (s.startsWith('-') || s.startsWith('+'))
        s.remove(0, 1);
    const qsizetype point = s.indexOf('.');
    if (point < 0)
        return allDigits(s);
    const QByteArray whole = s.left(point);
    const QByteArray frac = s.mid(point + 1);
    return allDigits(whole) && (frac.isEmpty() || allDigits(frac));
}

bool fieldFits(char shape, const QByteArray& f)
{
    switch (shape) {
    case '1':
        return f.size() == 1 && allDigits(f);
    case '2':
        return f.size() == 2 && allDigits(f);
    case 'T':
        return true;
    case 'Q':
        return f.size() >= 2 && f.startsWith('"') && f.endsWith('"');
    case 'F':
        return decimalNumber(f);
    case 'H':
        return f.size() >= 2 && allHex(f);
    case 'h':
        return f.isEmpty() || (f.size() >= 2 && allHex(f));
    case 'r':
        return twoDigitsIn(f, 0, 23);
    case 'n': // minute
    case 's': // second
        return twoDigitsIn(f, 0, 59);
    case 'M':
        return twoDigitsIn(f, 1, 12);
    case 'D':
        return twoDigitsIn(f, 1, 31);
    case 'Y':
        return twoDigitsIn(f, 0, 99);
    default:
        break;
    }
    return false;
}

QString describe(char shape)
{
    switch (shape) {
    case '1':
        return QStringLiteral("one digit");
    case '2':
        return QStringLiteral("two digits");
    case 'Q':
        return QStringLiteral("quoted text");
    case 'F':
        return QStringLiteral("a decimal number");
    case 'H':
        return QStringLiteral("a hexadecimal code");
    case 'h':
        return QStringLiteral("a hexadecimal code or nothing");
    case 'r':
        return QStringLiteral("hours 00-23");
    case 'n':
        return QStringLiteral("minutes 00-59");
    case 's':
        return QStringLiteral("seconds 00-59");
    case 'M':
        return QStringLiteral("month 01-12");
    case 'D':
        return QStringLiteral("day 01-31");
    case 'Y':
        return QStringLiteral("year 00-99");
    default:
        break;
    }
    return QStringLiteral("text");
}

Verdict fail(const QByteArray& tag, const QString& why)
{
    return {false, QStringLiteral("%1 %2").arg(QString::fromLatin1(tag), why)};
}

// Every field is followed by a comma, so a record's body is empty or ends with one.
bool splitFields(const QByteArray& body, QList<QByteArray>* fields)
{
    fields->clear();
    if (body.isEmpty())
        return true;
    if (!body.endsWith(','))
        return false;
    *fields = body.chopped(1).split(',');
    return true;
}

// As splitFields, for a record whose field shapes are known: a quoted field ('Q') is read from
// its opening quote to the next quote, commas and all, and that quote must be followed by the
// field's comma. Other fields end at the next comma. Fields beyond the shapes are plain.
// Empty when the body splits; else why not.
QString splitShapedFields(const QByteArray& body, const QByteArray& shapes,
                          QList<QByteArray>* fields)
{
    fields->clear();
    qsizetype at = 0;
    while (at < body.size()) {
        qsizetype end = -1;
        const bool quoted = fields->size() < shapes.size() && shapes[fields->size()] == 'Q';
        if (quoted && body[at] == '"') {
            const qsizetype close = body.indexOf('"', at + 1);
            if (close < 0)
                return QStringLiteral("field %1 opens a quote it never closes")
                    .arg(fields->size() + 1);
            if (close + 1 >= body.size())
                return QStringLiteral("does not end with a comma");
            if (body[close + 1] != ',')
                return QStringLiteral("field %1 goes on after its closing quote")
                    .arg(fields->size() + 1);
            end = close + 1;
        } else {
            end = body.indexOf(',', at);
            if (end < 0)
                return QStringLiteral("does not end with a comma");
        }
        fields->append(body.mid(at, end - at));
        at = end + 1;
    }
    return {};
}

Verdict checkTicket(const QByteArray& tag, const QList<QByteArray>& fields)
{
    static const QByteArray letters = "tdGTNCcAaPgnI";
    if (fields.size() % 3 != 0)
        return fail(tag, QStringLiteral("has %1 fields, not whole letter,row,column entries")
                             .arg(fields.size()));
    QSet<char> seen;
    for (qsizetype i = 0; i < fields.size(); i += 3) {
        const QByteArray& letter = fields[i];
        const int entry = static_cast<int>(i / 3) + 1;
        if (letter.size() != 1 || !letters.contains(letter[0]))
            return fail(tag, QStringLiteral("entry %1: unknown field letter \"%2\"")
                                 .arg(entry)
                                 .arg(QString::fromLatin1(letter)));
        // C and c are the same field printed two ways, as are A and a.
        const char field = letter[0] == 'c' ? 'C' : letter[0] == 'a' ? 'A' : letter[0];
        if (seen.contains(field))
            return fail(tag, QStringLiteral("entry %1: field \"%2\" given twice")
                                 .arg(entry)
                                 .arg(QString::fromLatin1(letter)));
        seen.insert(field);
        for (int k = 1; k <= 2; ++k) {
            const QByteArray& n = fields[i + k];
            if (n.size() > 4 || !allDigits(n))
                return fail(tag, QStringLiteral("entry %1: %2 \"%3\" is not a number 0-9999")
                                     .arg(entry)
                                     .arg(k == 1 ? QStringLiteral("row") : QStringLiteral("column"))
                                     .arg(QString::fromLatin1(n)));
        }
    }
    return {true, {}};
}

// The four wrapper characters of a custom output: the token field, the index that means
// "user defined", and the fixed text the first output sends otherwise. The second output
// sends nothing in place of the fixed texts.
struct Wrapper
{
    int tokenField; // 0-based
    const char* userDefined;
    const char* fixedFirst;
};

const Wrapper Wrappers[] = {{11, "5", "0D"}, {14, "6", "02"}, {16, "5", "0D"}, {18, "5", "20"}};

Verdict checkWrappers(const QByteArray& tag, const QList<QByteArray>& fields)
{
    const bool first = tag == "[CFM],";
    for (const Wrapper& w : Wrappers) {
        const QByteArray& chr = fields[w.tokenField + 1];
        const bool user = fields[w.tokenField] == w.userDefined;
        const int n = w.tokenField + 2;
        if (user && chr.isEmpty())
            return fail(
                tag, QStringLiteral("field %1 is empty though its token is user defined").arg(n));
        if (!user && first && chr != w.fixedFirst)
            return fail(tag, QStringLiteral("field %1 \"%2\" is not the fixed \"%3\"")
                                 .arg(n)
                                 .arg(QString::fromLatin1(chr), QLatin1String(w.fixedFirst)));
        if (!user && !first && !chr.isEmpty())
            return fail(tag, QStringLiteral("field %1 \"%2\" should be empty")
                                 .arg(n)
                                 .arg(QString::fromLatin1(chr)));
    }
    return {true, {}};
}

} // namespace

QList<QByteArray> tagOrder(int outputs)
{
    QList<QByteArray> tags = {"[CFG],", "[CAL],", "[ANY],", "[420],",
                              "[TKT],", "[PRN],", "[CST],", "[CFM],"};
    if (outputs == 2)
        tags << "[CS2],"
             << "[CF2],";
    tags << "[TAD],";
    return tags;
}

Verdict checkRecord(const QByteArray& line, const QByteArray& expectedTag)
{
    if (!line.startsWith(expectedTag)) {
        return {false,
                QStringLiteral("expected %1, found \"%2\"")
                    .arg(QString::fromLatin1(expectedTag), QString::fromLatin1(line.left(6)))};
    }
    const QByteArray body = line.mid(expectedTag.size());
    const Shape* shape = shapeOf(expectedTag);
    if (!shape)
        return fail(expectedTag, QStringLiteral("is not a record of this indicator"));

    const bool streamFormat = !shape->fields && expectedTag != "[TKT],";
    // A stream format may itself hold commas; only its closing comma is the layout's.
    if (streamFormat) {
        if (!body.endsWith(','))
            return fail(expectedTag, QStringLiteral("does not end with a comma"));
        return {true, {}};
    }
    QList<QByteArray> fields;
    if (!shape->fields) {
        if (!splitFields(body, &fields))
            return fail(expectedTag, QStringLiteral("does not end with a comma"));
        return checkTicket(expectedTag, fields);
    }

    const QByteArray shapes(shape->fields);
    if (const QString why = splitShapedFields(body, shapes, &fields); !why.isEmpty())
        return fail(expectedTag, why);
    if (fields.size() != shapes.size()) {
        return fail(
            expectedTag,
            QStringLiteral("has %1 fields, expected %2").arg(fields.size()).arg(shapes.size()));
    }
    for (qsizetype i = 0; i < shapes.size(); ++i) {
        const char s = shapes[i];
        if (!fieldFits(s, fields[i])) {
            return fail(expectedTag, QStringLiteral("field %1 \"%2\" is not %3")
                                         .arg(i + 1)
                                         .arg(QString::fromLatin1(fields[i]), describe(s)));
        }
    }
    if (expectedTag == "[CFM]," || expectedTag == "[CF2],")
        return checkWrappers(expectedTag, fields);
    return {true, {}};
}

Verdict checkDownload(const QByteArray& text, int outputs, QList<QByteArray>* records)
{
    const QList<QByteArray> tags = tagOrder(outputs);
    if (!text.endsWith("\r\n"))
        return {false, QStringLiteral("the last record does not end with CR LF")};
    QList<QByteArray> lines = text.chopped(2).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray& l = lines[i];
        if (i + 1 < lines.size()) {
            if (!l.endsWith('\r'))
                return {false, QStringLiteral("line %1 ends with LF alone").arg(i + 1)};
            l.chop(1);
        }
        if (l.contains('\r'))
            return {false, QStringLiteral("line %1 holds a stray CR").arg(i + 1)};
    }
    if (lines.size() != tags.size()) {
        return {false, QStringLiteral("%1 records, expected %2 for %3 custom output(s)")
                           .arg(lines.size())
                           .arg(tags.size())
                           .arg(outputs)};
    }
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const Verdict v = checkRecord(lines[i], tags[i]);
        if (!v.ok)
            return {false, QStringLiteral("record %1: %2").arg(i + 1).arg(v.reason)};
    }
    if (records)
        *records = lines;
    return {true, {}};
}

} // namespace kx::sim::layout
