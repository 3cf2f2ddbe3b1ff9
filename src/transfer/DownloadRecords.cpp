#include "transfer/DownloadRecords.h"

#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"
#include "transfer/RecordLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <tuple>
#include <vector>

namespace kx {
namespace {

// What the editor shows for a key the file lacks, so a download sends what Open would show.
QByteArray missingDefault(const QByteArray& key)
{
    for (const SettingDesc& d : settingsTable())
        if (key.compare(d.key, Qt::CaseInsensitive) == 0)
            return d.missingDefault;
    for (const TicketFieldDesc& f : ticketFields()) {
        if (key.compare(ticketKey(f, "Visible"), Qt::CaseInsensitive) == 0)
            return QByteArray::number(f.missingVisible);
        if (key.compare(ticketKey(f, "Row"), Qt::CaseInsensitive) == 0)
            return QByteArray::number(f.missingRow);
        if (key.compare(ticketKey(f, "Col"), Qt::CaseInsensitive) == 0)
            return QByteArray::number(f.missingCol);
    }
    return {};
}

// The editor's typing limit for a key, which is the width of the indicator's field; 0 none.
int fieldWidth(const QByteArray& key)
{
    for (const SettingDesc& d : settingsTable())
        if (key.compare(d.key, Qt::CaseInsensitive) == 0)
            return d.maxLength;
    if (const OutputKeyDesc* k = findOutputKey(key))
        return k->maxLength;
    return 0;
}

// The key=value lines a record's values are looked up in: the first line whose key matches,
// blanks around it and letter case aside, wins; a key the file lacks reads as the editor's
// default for it.
class KeyLines
{
public:
    static KeyLines ofFile(const QByteArray& bytes)
    {
        KeyLines out;
        out.defaults_ = true;
        // Lines as the editor splits them (CR LF, LF or CR; a byte-order mark is no text).
        static const QByteArray bom("\xEF\xBB\xBF");
        const QByteArray text = IniDocument::fromBytes(bytes.startsWith(bom) ? bytes.mid(3) : bytes)
                                    .toBytes();
        for (QByteArray line : text.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.trimmed().startsWith('['))
                continue; // section headers take no part
            // The editor reads a setting without the blanks around it; the same value is sent.
            const qsizetype eq = line.indexOf('=');
            if (eq >= 0)
                out.lines_.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
        }
        return out;
    }
    static KeyLines ofSection(const IniDocument& doc, const char* section)
    {
        KeyLines out;
        for (const auto& [key, value] : doc.entries(section))
            out.lines_.append({key.trimmed(), value});
        return out;
    }
    QByteArray value(const QByteArray& key) const
    {
        for (const auto& [k, v] : lines_)
            if (k.compare(key, Qt::CaseInsensitive) == 0)
                return v;
        return defaults_ ? missingDefault(key) : QByteArray();
    }

private:
    QList<std::pair<QByteArray, QByteArray>> lines_;
    bool defaults_ = false;
};

// A record under construction; the first value that does not fit stops it.
struct Record
{
    QByteArray text;
    std::optional<QString> misfit;

    void field(const QByteArray& value) { text += value + ','; }
    // A value longer than its field would be cut or overrun by the indicator; the file keeps it
    // whole and the record is not sent.
    bool fits(const QByteArray& key, const QByteArray& stored)
    {
        // The value as it is sent, blanks and all: that is what the field must hold.
        const int width = fieldWidth(key);
        if (width <= 0 || stored.size() <= width)
            return true;
        const QByteArray shown = stored;
        misfit = QStringLiteral("%1=%2 is longer than its %3-character field (%4 characters).")
                     .arg(QString::fromLatin1(key),
                          QString::fromLatin1(shown.size() > 40 ? shown.left(40) + "..." : shown))
                     .arg(width)
                     .arg(shown.size());
        return false;
    }
    void digits(const QByteArray& key, const QByteArray& stored, qint64 value, int width)
    {
        const int limit = width == 1 ? 9 : 99;
        if (value < 0 || value > limit) {
            if (!misfit)
                misfit = QStringLiteral("%1=%2 does not fit its %3-digit field.")
                             .arg(QString::fromLatin1(key), QString::fromLatin1(stored.trimmed()),
                                  width == 1 ? QStringLiteral("one") : QStringLiteral("two"));
            return;
        }
        field(QByteArray::number(value).rightJustified(width, '0'));
    }
};

// The first character of value that would break its field's record (0: none). A comma
// would end an unquoted field early and shift every field after it, a double quote would end
// a quoted one, and a CR or LF would end the record.
char firstBreaking(const QByteArray& value, const QByteArray& breaking)
{
    for (const char c : value)
        if (breaking.contains(c))
            return c;
    return 0;
}

QString characterName(char c)
{
    switch (c) {
    case ',':
        return QStringLiteral("comma");
    case '"':
        return QStringLiteral("double quote");
    default:
        return QStringLiteral("line break");
    }
}

QByteArray charCodeField(Record& record, const FieldLayout& f, const KeyLines& lines, bool second)
{
    if (leadingInteger(lines.value(f.tokenKey)) != f.userDefined)
        return second ? f.fixedSecond : f.fixedFirst;
    const QByteArray stored = lines.value(f.key);
    const int code = leadingInteger(stored);
    if (code < 0) {
        record.misfit = QStringLiteral("%1=%2 is not a character code.")
                            .arg(QString::fromLatin1(f.key), QString::fromLatin1(stored.trimmed()));
        return {};
    }
    return QByteArray::number(code, 16).toUpper().rightJustified(2, '0');
}

void buildFields(Record& record, const RecordLayout& layout, const KeyLines& lines,
                 const DownloadSource& source, bool second)
{
    for (const FieldLayout& f : layout.fields) {
        const QByteArray stored = lines.value(f.key);
        switch (f.send) {
        case SendAs::Index:
            record.digits(f.key, stored, leadingInteger(stored), 1);
            break;
        case SendAs::IndexPlusOne:
            record.digits(f.key, stored, qint64(leadingInteger(stored)) + 1, 1);
            break;
        case SendAs::TwoDigits:
            record.digits(f.key, stored, qint64(leadingInteger(stored)) + 1, 2);
            break;
        case SendAs::Number2:
            record.digits(f.key, stored, leadingInteger(stored), 2);
            break;
        case SendAs::Text:
        case SendAs::Quoted:
            if (!record.fits(f.key, stored))
                return;
            if (const char breaking = firstBreaking(stored, breakingCharacters(layout, f))) {
                record.misfit =
                    QStringLiteral("%1=%2 holds a %3, which the record cannot carry.")
                        .arg(QString::fromLatin1(f.key),
                             QString::fromLatin1(
                                 QByteArray(stored).replace('\r', ' ').replace('\n', ' ')),
                             characterName(breaking));
                return;
            }
            record.field(f.send == SendAs::Quoted ? '"' + stored + '"' : stored);
            break;
        case SendAs::Factor:
            if (!record.fits(f.key, stored))
                return;
            record.field(factorField(stored));
            break;
        case SendAs::UnitBox:
            record.field(source.tickedUnits.contains(f.key) ? "1" : "0");
            break;
        case SendAs::NetworkBox:
            record.field(source.fieldBus ? "0" : "1");
            break;
        case SendAs::Polarity:
            record.field(stored == "1" ? "1" : "0");
            break;
        case SendAs::CharCode:
            record.field(charCodeField(record, f, lines, second));
            break;
        }
        if (record.misfit)
            return;
    }
}

void buildTicket(Record& record, const KeyLines& lines)
{
    struct Entry
    {
        int row, col, code;
        char letter;
    };
    std::vector<Entry> entries;
    const auto fields = ticketFields();
    const auto letters = ticketLetters();
    for (int code = 0; code < TicketFieldCount; ++code) {
        const TicketFieldDesc& field = fields[code];
        const QByteArray visible = lines.value(ticketKey(field, "Visible")).trimmed();
        const TicketLetter& letter = letters[code];
        const bool counts = letter.secondValue != 0;
        if (counts ? visible == "0" : visible != "1")
            continue;
        int place[2] = {};
        for (int i = 0; i < 2; ++i) {
            const QByteArray key = ticketKey(field, i == 0 ? "Row" : "Col");
            const QByteArray stored = lines.value(key);
            place[i] = leadingInteger(stored);
            // The indicator sorts by four-digit row and column.
            if (place[i] < 0 || place[i] > 9999) {
                record.misfit = QStringLiteral("%1=%2 is not a place on the ticket.")
                                    .arg(QString::fromLatin1(key),
                                         QString::fromLatin1(stored.trimmed()));
                return;
            }
        }
        entries.push_back({place[0], place[1], code,
                           counts && visible == "2" ? letter.secondValue : letter.letter});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return std::tie(a.row, a.col, a.code) < std::tie(b.row, b.col, b.code);
    });
    for (const Entry& e : entries) {
        record.field(QByteArray(1, e.letter));
        record.field(QByteArray::number(e.row));
        record.field(QByteArray::number(e.col));
    }
}

} // namespace

QByteArray factorField(const QByteArray& stored)
{
    bool ok = false;
    float value = stored.trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(value))
        value = 0;
    const qsizetype point = stored.indexOf('.');
    const int width = static_cast<int>(stored.size());
    const int decimals = point < 0 ? 0 : static_cast<int>(stored.size() - point - 1);
    const int n = std::snprintf(nullptr, 0, "%*.*f", width, decimals, double(value));
    QByteArray out(n, '\0');
    std::snprintf(out.data(), size_t(n) + 1, "%*.*f", width, decimals, double(value));
    return out;
}

DownloadBuild buildDownloadRecords(const DownloadSource& source)
{
    const KeyLines fileLines = KeyLines::ofFile(source.fileText);
    const IniDocument doc = IniDocument::fromBytes(source.fileText);
    const KeyLines first = KeyLines::ofSection(doc, section::CustomOutput);
    const KeyLines second = KeyLines::ofSection(doc, section::CustomOutput2);

    struct Step
    {
        const RecordLayout& layout;
        const KeyLines& lines;
        bool second;
    };
    std::vector<Step> steps = {
        {records::configuration(), fileLines, false}, {records::calibration(), fileLines, false},
        {records::fieldBus(), fileLines, false},      {records::fourTo20mA(), fileLines, false},
        {records::ticket(), fileLines, false},        {records::printer(), fileLines, false},
        {records::stream(), first, false},            {records::output(), first, false},
    };
    if (source.secondOutput) {
        steps.push_back({records::stream2(), second, true});
        steps.push_back({records::output2(), second, true});
    }
    steps.push_back({records::dateTime(), fileLines, false});

    DownloadBuild build;
    for (const Step& step : steps) {
        Record record;
        record.text = step.layout.tag;
        switch (step.layout.kind) {
        case RecordKind::Fields:
        case RecordKind::StreamFormat:
            buildFields(record, step.layout, step.lines, source, step.second);
            break;
        case RecordKind::Ticket:
            buildTicket(record, step.lines);
            break;
        case RecordKind::DateTime:
            record.text += source.now.toString(QStringLiteral("hh,mm,ss,MM,dd,yy,")).toLatin1();
            break;
        }
        if (record.misfit) {
            build.failures << QString::fromLatin1(step.layout.failureText) << *record.misfit;
            return build;
        }
        build.records += record.text + "\r\n";
    }
    return build;
}

} // namespace kx
