#include "transfer/UploadRecords.h"

#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"
#include "transfer/RecordLayout.h"

#include <algorithm>

namespace kx {
namespace {

using Outcome = UploadParse::Outcome;

// Splits at the first comma: the field before it, the rest after it; nothing without one.
std::optional<QByteArray> takeField(QByteArray& body)
{
    const qsizetype comma = body.indexOf(',');
    if (comma < 0)
        return std::nullopt;
    QByteArray field = body.left(comma);
    body = body.mid(comma + 1);
    return field;
}

// A field that opens with a double quote runs to its closing quote, commas and all, and on to
// the comma after it; without a closing quote it is a plain field.
std::optional<QByteArray> takeQuotedField(QByteArray& body)
{
    const qsizetype close = body.startsWith('"') ? body.indexOf('"', 1) : -1;
    if (close < 0)
        return takeField(body);
    const qsizetype comma = body.indexOf(',', close + 1);
    if (comma < 0)
        return std::nullopt;
    QByteArray field = body.left(comma);
    body = body.mid(comma + 1);
    return field;
}

QByteArray convert(ReadAs rule, const QByteArray& field)
{
    switch (rule) {
    case ReadAs::AsIs:
        return field;
    case ReadAs::Number:
        return readNumber(field);
    case ReadAs::LessOne:
        return readLessOne(field);
    case ReadAs::Trimmed:
    case ReadAs::SetPoint:
        return readTrimmed(field);
    case ReadAs::Unquoted:
        return field.size() < 2 ? QByteArray() : field.mid(1, field.size() - 2);
    case ReadAs::DecimalTrim:
        return readDecimalTrim(field);
    case ReadAs::Hex:
        return readHex(field);
    }
    return field;
}

// The fixed fields of a record into key lines; false when a field lacks its comma.
bool readFields(const RecordLayout& layout, QByteArray body, const UploadContext& context,
                QList<QByteArray>& lines)
{
    for (const FieldLayout& f : layout.fields) {
        const QByteArray key = QByteArray(f.key) + '=';
        const auto field = f.read == ReadAs::Unquoted ? takeQuotedField(body) : takeField(body);
        if (!field) {
            if (f.read != ReadAs::SetPoint)
                return false;
            // A record without the set points keeps those the editor shows.
            lines << key + (f.key == QByteArrayView("Setpoint1") ? context.setpoint1
                                                                 : context.setpoint2);
            continue;
        }
        lines << key + convert(f.read, *field);
    }
    return true;
}

QByteArray streamFormatLine(const QByteArray& body)
{
    return "Stream Format=" + (body.contains(',') ? body.left(body.size() - 1) : body);
}

QByteArray header(const char* section)
{
    return '[' + QByteArray(section) + ']';
}

} // namespace

QByteArray readNumber(const QByteArray& field)
{
    return QByteArray::number(std::max(0, leadingInteger(field)));
}

QByteArray readLessOne(const QByteArray& field)
{
    return QByteArray::number(std::max<qint64>(0, qint64(leadingInteger(field)) - 1));
}

QByteArray readTrimmed(const QByteArray& field)
{
    qsizetype from = 0, to = field.size();
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (from < to && blank(field[from]))
        ++from;
    while (to > from && blank(field[to - 1]))
        --to;
    return field.mid(from, to - from);
}

QByteArray readDecimalTrim(const QByteArray& field)
{
    QByteArray t = readTrimmed(field);
    // Positions count from 1, as the indicator's own rule does.
    const qsizetype d = t.indexOf('.') + 1;
    qsizetype a = -1;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (t[i] != '0' && t[i] != '.') {
            a = i + 1;
            break;
        }
    if (a < d)
        a = d + 1;
    if (a > 0)
        t.truncate(a);
    return t;
}

QByteArray readHex(const QByteArray& field)
{
    const bool hex = !field.isEmpty() && std::all_of(field.begin(), field.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
    bool ok = false;
    const qulonglong value = hex ? field.toULongLong(&ok, 16) : 0;
    return QByteArray::number(ok ? value : 0);
}

QByteArray ParseTicketField(const QByteArray& body, QList<QByteArray>& lines, quint16& flags)
{
    QByteArray rest = body;
    const auto letter = takeField(rest);
    if (!letter || letter->size() != 1)
        return "0";
    const auto fields = ticketFields();
    const auto letters = ticketLetters();
    for (int code = 0; code < TicketFieldCount; ++code) {
        const TicketLetter& l = letters[code];
        const char c = letter->at(0);
        if (c != l.letter && (l.secondValue == 0 || c != l.secondValue))
            continue;
        const TicketFieldDesc& field = fields[code];
        flags |= quint16(1u << code);
        lines << ticketKey(field, "Visible") + (c == l.letter ? "=1" : "=2");
        const auto row = takeField(rest);
        if (!row)
            return "0";
        lines << ticketKey(field, "Row") + '=' + *row;
        const auto col = takeField(rest);
        if (!col)
            return "0";
        lines << ticketKey(field, "Col") + '=' + *col;
        return rest.isEmpty() ? QByteArray(",") : rest;
    }
    return "0";
}

void FillMissingTicketFields(QList<QByteArray>& lines, quint16 flags)
{
    const auto fields = ticketFields();
    for (int code = 0; code < TicketFieldCount; ++code) {
        if (flags & (1u << code))
            continue;
        for (const char* part : {"Visible", "Row", "Col"})
            lines << ticketKey(fields[code], part) + "=0";
    }
}

namespace {

QList<QByteArray> uploadRecords(const QByteArray& text)
{
    QList<QByteArray> records = text.split('\n');
    for (QByteArray& r : records)
        if (r.endsWith('\r'))
            r.chop(1);
    // A final line end leaves an empty piece that is no record.
    if (!records.isEmpty() && records.last().isEmpty())
        records.removeLast();
    return records;
}

} // namespace

QString recordCountProblem(const QByteArray& text, int lineCount, bool secondOutput)
{
    // The records before the date and time, and the date and time itself.
    if (lineCount != 10)
        return {};
    const int expected = secondOutput ? 11 : 9;
    const auto received = uploadRecords(text).size();
    if (received == expected)
        return {};
    return QStringLiteral("%1 records received, %2 expected: check Custom Outputs in the port "
                          "settings (F2)")
        .arg(received)
        .arg(expected);
}

UploadParse parseUpload(const QByteArray& text, const UploadContext& context)
{
    const QList<QByteArray> records = uploadRecords(text);

    UploadParse parse;
    QList<QByteArray>& lines = parse.lines;
    bool success = false;
    const auto done = [&](Outcome outcome) {
        parse.outcome = outcome;
        return parse;
    };
    for (int i = 0; i < context.lineCount; ++i) {
        if (i >= records.size())
            return done(Outcome::Error);
        const QByteArray& line = records[i];
        const QByteArray body = line.mid(6);
        const RecordLayout* layout = nullptr;
        switch (i) {
        case 0: layout = &records::configuration(); break;
        case 1: layout = &records::calibration(); break;
        case 2: layout = &records::fieldBus(); break;
        case 3: layout = &records::fourTo20mA(); break;
        case 4: layout = &records::ticket(); break;
        case 5: layout = &records::printer(); break;
        case 6: layout = &records::stream(); break;
        case 7: layout = &records::output(); break;
        case 8:
            // One custom output: its date and time stand here, and the second output's section
            // is left with an empty stream format.
            if (line.startsWith(records::dateTime().tag)) {
                lines << header(section::CustomOutput2) << "Stream Format=";
                return done(Outcome::Complete);
            }
            layout = &records::stream2();
            break;
        case 9: layout = &records::output2(); break;
        default: return done(success ? Outcome::Complete : Outcome::Incomplete);
        }
        if (!line.contains(layout->tag))
            return done(Outcome::Incomplete);
        if (layout->section)
            lines << header(layout->section);
        switch (layout->kind) {
        case RecordKind::Fields:
            if (!readFields(*layout, body, context, lines))
                return done(Outcome::Incomplete);
            break;
        case RecordKind::StreamFormat:
            lines << streamFormatLine(body);
            break;
        case RecordKind::Ticket: {
            quint16 flags = 0;
            QByteArray rest = body;
            for (int entry = 0; entry < TicketFieldCount; ++entry) {
                rest = ParseTicketField(rest, lines, flags);
                if (rest == "0")
                    return done(Outcome::Incomplete);
                if (rest == ",")
                    break;
            }
            if (flags != 0)
                FillMissingTicketFields(lines, flags);
            break;
        }
        case RecordKind::DateTime:
            break;
        }
        if (layout == &records::printer()) {
            lines << header(section::PageSize) << "Height=" + context.height
                  << "Width=" + context.width << "Top Margin=" + context.top
                  << "Left Margin=" + context.left << "Bottom Margin=" + context.bottom
                  << "Right Margin=" + context.right;
        }
        if (layout == &records::output() || layout == &records::output2())
            success = true;
    }
    return done(success ? Outcome::Complete : Outcome::Incomplete);
}

} // namespace kx
