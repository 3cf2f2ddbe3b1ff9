#include "settings/SettingsValueCheck.h"

#include "settings/IniDocument.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSchema.h"
#include "settings/TicketLayout.h"
#include "settings/UserFile.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace kx {
namespace {

// More than this many problems are summed up: a file of another kind would otherwise fill the
// screen with one line per key.
constexpr int ListedProblems = 20;

bool same(const QByteArray& a, const char* b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString latin1(const QByteArray& b)
{
    return QString::fromLatin1(b);
}

// A value as a message quotes it: a 1 MB value must not become a 1 MB message.
QString quoted(const QByteArray& value)
{
    return latin1(value.size() > 40 ? value.left(40) + "..." : value);
}

bool digitsOnly(const QByteArray& v)
{
    return !v.isEmpty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number in decimal digits within [low, high]; nothing else (no sign, blank, 0x).
bool wholeIn(const QByteArray& v, long long low, long long high)
{
    if (!digitsOnly(v) || v.size() > 12)
        return false;
    const long long n = v.toLongLong();
    return n >= low && n <= high;
}

// A decimal number as files carry it between PCs: an optional sign, digits, at most one
// point, at least one digit; no exponent, no blanks, no thousands separator.
std::optional<double> decimal(const QByteArray& v)
{
    qsizetype i = (v.startsWith('-') || v.startsWith('+')) ? 1 : 0;
    bool digit = false, point = false;
    for (; i < v.size(); ++i) {
        if (v[i] >= '0' && v[i] <= '9')
            digit = true;
        else if (v[i] == '.' && !point)
            point = true;
        else
            return std::nullopt;
    }
    if (!digit)
        return std::nullopt;
    return v.toDouble();
}

QString choices(std::span<const char* const> options)
{
    return optionTexts(options).join(QStringLiteral(", "));
}

// Numbers the editor's boxes take as text. Their ranges come from what a save keeps (Low and
// High Weight: -9999 or more; the set points: whole, 0 to 999999) or, where nothing is written
// down, from what the box and the indicator's field allow: a capacity and a factor are not
// negative, and a node address is a whole number of at most three digits.
enum class Number
{
    None,
    Decimal, // syntax as decimal(), at least floor
    Whole,   // digits only, floor to ceiling
};

struct NumberRule
{
    const char* key;
    Number kind;
    double floor;
    double ceiling;
};

constexpr NumberRule kNumbers[] = {
    {"Custom Factor", Number::Decimal, 0, 0},
    {"Scale Capacity", Number::Decimal, 0, 0},
    {"Low Weight", Number::Decimal, -9999, 0},
    {"High Weight", Number::Decimal, -9999, 0},
    {"Setpoint1", Number::Whole, 0, 999999},
    {"Setpoint2", Number::Whole, 0, 999999},
    {"Node Address", Number::Whole, 0, 999},
};

const NumberRule* numberRule(const char* key)
{
    for (const NumberRule& r : kNumbers)
        if (qstrcmp(r.key, key) == 0)
            return &r;
    return nullptr;
}

QString numberProblem(const NumberRule& rule, const QByteArray& v)
{
    if (rule.kind == Number::Whole)
        return wholeIn(v, qint64(rule.floor), qint64(rule.ceiling))
                   ? QString()
                   : QStringLiteral("is not a whole number from %1 to %2")
                         .arg(qint64(rule.floor))
                         .arg(qint64(rule.ceiling));
    const auto n = decimal(v);
    if (!n)
        return QStringLiteral("is not a number (digits with at most one decimal point)");
    if (*n < rule.floor)
        return rule.floor == 0 ? QStringLiteral("is below 0")
                               : QStringLiteral("is below %1").arg(rule.floor);
    return {};
}

QString lengthProblem(const QByteArray& v, int width)
{
    if (width <= 0 || v.size() <= width)
        return {};
    return QStringLiteral("is longer than its %1-character field (%2 characters)")
        .arg(width)
        .arg(v.size());
}

// The characters a field's record cannot carry: a double quote ends the quoted custom name, a
// comma ends any other field of a comma-separated record. The stream format is its record's
// only field and carries commas. Line ends never reach a value: they end its line.
QString carriesProblem(const QByteArray& v, const char* key)
{
    const bool quotedField = qstrcmp(key, "Custom Name") == 0;
    if (qstrcmp(key, "Stream Format") == 0)
        return {};
    const char breaking = quotedField ? '"' : ',';
    if (v.contains(breaking))
        return QStringLiteral("holds a %1, which its record cannot carry")
            .arg(quotedField ? QStringLiteral("double quote") : QStringLiteral("comma"));
    return {};
}

QString settingProblem(const SettingDesc& d, const QByteArray& v, int primaryUnits)
{
    switch (d.kind) {
    case SettingKind::Index: {
        const auto n = static_cast<long long>(d.options.size());
        if (d.writtenWhenNone && v == d.writtenWhenNone)
            return {};
        if (wholeIn(v, 0, n - 1))
            return {};
        return QStringLiteral("is not one of its %1 choices (a number from 0 to %2: %3)")
            .arg(n)
            .arg(n - 1)
            .arg(choices(d.options));
    }
    case SettingKind::ItemText: {
        const auto options = optionsFor(d, primaryUnits);
        if (std::any_of(options.begin(), options.end(), [&](const char* o) { return v == o; }))
            return {};
        return QStringLiteral("is not an item of its list (%1)").arg(choices(options));
    }
    case SettingKind::Flag:
    case SettingKind::RadioFlag:
        return v == "0" || v == "1" ? QString() : QStringLiteral("is neither 0 nor 1");
    case SettingKind::Integer: // "Char Width": the designer holds it to 1..99
        return wholeIn(v, 1, 99) ? QString() : QStringLiteral("is not a whole number from 1 to 99");
    case SettingKind::Text:
        break;
    }
    // The page size stays on the PC: no record carries it, and the designer holds it to its range.
    if (qstrcmp(d.section, section::PageSize) == 0)
        return {};
    if (QString why = lengthProblem(v, d.maxLength); !why.isEmpty())
        return why;
    if (QString why = carriesProblem(v, d.key); !why.isEmpty())
        return why;
    if (const NumberRule* rule = numberRule(d.key))
        return numberProblem(*rule, v);
    return {};
}

QString outputProblem(const OutputKeyDesc& k, const QByteArray& v)
{
    switch (k.kind) {
    case OutputKeyKind::Integer: {
        if (k.options.empty()) // a wrapper's own character code
            return wholeIn(v, 0, 255) ? QString()
                                      : QStringLiteral("is not a character code from 0 to 255");
        const auto n = static_cast<long long>(k.options.size());
        return wholeIn(v, 0, n - 1)
                   ? QString()
                   : QStringLiteral("is not one of its %1 choices (a number from 0 to %2: %3)")
                         .arg(n)
                         .arg(n - 1)
                         .arg(choices(k.options));
    }
    case OutputKeyKind::Flag:
        return v == "0" || v == "1" ? QString() : QStringLiteral("is neither 0 nor 1");
    case OutputKeyKind::Text:
        break;
    }
    // The two one-character boxes hold counts of digits.
    if (k.maxLength == 1)
        return wholeIn(v, 0, 9) ? QString() : QStringLiteral("is not one digit");
    if (QString why = lengthProblem(v, k.maxLength); !why.isEmpty())
        return why;
    return carriesProblem(v, k.key);
}

QString ticketProblem(const TicketFieldDesc& f, const QByteArray& part, const QByteArray& v)
{
    if (part == "Visible") {
        const auto top = static_cast<long long>(f.visibleTexts.size()) - 1;
        // The record compares the text itself: "01" would be hidden where the editor shows it.
        return v.size() == 1 && wholeIn(v, 0, top)
                   ? QString()
                   : QStringLiteral("is not a number from 0 to %1").arg(top);
    }
    return wholeIn(v, 0, MaxTicketCell)
               ? QString()
               : QStringLiteral("is not a place on the ticket (0 to %1)").arg(MaxTicketCell);
}

// Where a key read from anywhere in the file belongs, when the download takes the first line
// of that name wherever it stands: the settings and the ticket fields.
struct Owned
{
    const char* section = nullptr;
    const SettingDesc* setting = nullptr;
    const TicketFieldDesc* ticket = nullptr;
    QByteArray part;
};

std::optional<Owned> ownerOf(const QByteArray& key)
{
    for (const SettingDesc& d : settingsTable())
        if (same(key, d.key))
            return Owned{d.section, &d, nullptr, {}};
    for (const TicketFieldDesc& f : ticketFields())
        for (const char* part : {"Visible", "Row", "Col"})
            if (key.compare(ticketKey(f, part), Qt::CaseInsensitive) == 0)
                return Owned{section::TicketFormat, nullptr, &f, part};
    return std::nullopt;
}

bool isOutputSection(const QByteArray& sec)
{
    return same(sec, section::CustomOutput) || same(sec, section::CustomOutput2);
}

QString sectionShown(const QByteArray& sec)
{
    return sec.isEmpty() ? QStringLiteral("before any section")
                         : QStringLiteral("in [%1]").arg(latin1(sec));
}

} // namespace

QStringList settingsValueProblems(const QByteArray& bytes)
{
    const QList<IniDocument::NumberedLine> lines = IniDocument::fromBytes(bytes).numberedLines();
    QStringList problems;

    QHash<QByteArray, int> headerAt;
    for (const IniDocument::NumberedLine& h : lines) {
        if (!h.header)
            continue;
        const QByteArray name = h.section.toLower();
        if (const auto it = headerAt.constFind(name); it != headerAt.cend())
            problems << QStringLiteral("lines %1 and %2: the section [%3] is given twice.")
                            .arg(*it)
                            .arg(h.number)
                            .arg(latin1(h.section));
        else
            headerAt.insert(name, h.number);
    }

    // The primary units choose the division list; an unreadable choice is the lb list, as the
    // editor shows it.
    int primaryUnits = 0;
    QHash<QByteArray, int> keyAt;
    QSet<int> repeated; // said once as given twice; their values are not looked at
    for (const IniDocument::NumberedLine& k : lines) {
        if (k.header)
            continue;
        const QByteArray at = k.section.toLower() + '\n' + k.key.toLower();
        if (const auto it = keyAt.constFind(at); it != keyAt.cend()) {
            problems << QStringLiteral("lines %1 and %2: the key %3 is given twice %4.")
                            .arg(*it)
                            .arg(k.number)
                            .arg(latin1(k.key), sectionShown(k.section));
            repeated.insert(k.number);
            continue;
        }
        keyAt.insert(at, k.number);
        if (same(k.section, section::Calibration) && same(k.key, "Primary Units")) {
            const QByteArray v = k.value.trimmed();
            primaryUnits = wholeIn(v, 0, 3) ? v.toInt() : 0;
        }
    }

    for (const IniDocument::NumberedLine& k : lines) {
        if (k.header || repeated.contains(k.number))
            continue;
        const QByteArray line = QByteArray::number(k.number);
        const auto refuse = [&](const QByteArray& value, const QString& why) {
            if (!why.isEmpty())
                problems << QStringLiteral("line %1: %2=%3 %4.")
                                .arg(latin1(line), latin1(k.key), quoted(value), why);
        };
        if (isOutputSection(k.section)) {
            // The builder keeps an output's values as they stand, blanks and all.
            if (const OutputKeyDesc* d = findOutputKey(k.key)) {
                refuse(k.value, outputProblem(*d, k.value));
                continue;
            }
        }
        const auto owner = ownerOf(k.key);
        if (!owner)
            continue;
        if (!same(k.section, owner->section)) {
            problems << QStringLiteral("line %1: %2 stands %3; it belongs in [%4].")
                            .arg(latin1(line), latin1(k.key), sectionShown(k.section),
                                 QString::fromLatin1(owner->section));
            continue;
        }
        // The editor reads a setting without the blanks around it, and that is what is sent.
        const QByteArray v = k.value.trimmed();
        if (owner->setting)
            refuse(v, settingProblem(*owner->setting, v, primaryUnits));
        else
            refuse(v, ticketProblem(*owner->ticket, owner->part, v));
    }
    return problems;
}

SettingsFileCheck checkSettingsText(const QByteArray& bytes, const QString& path)
{
    SettingsFileCheck out;
    const QString shown = QDir::toNativeSeparators(path);
    if (const QString problem = settingsTextProblem(bytes); !problem.isEmpty()) {
        out.refusal = QStringLiteral("%1: %2\nNothing was sent.").arg(shown, problem);
        return out;
    }
    const QStringList problems = settingsValueProblems(bytes);
    if (problems.isEmpty()) {
        out.checked = CheckedSettings{path, bytes};
        return out;
    }
    QStringList lines{QStringLiteral("%1: %2 cannot be sent:")
                          .arg(shown, problems.size() == 1 ? QStringLiteral("a value")
                                                           : QStringLiteral("these values"))};
    for (qsizetype i = 0; i < problems.size() && i < ListedProblems; ++i)
        lines << QStringLiteral("  ") + problems[i];
    if (problems.size() > ListedProblems)
        lines << QStringLiteral("  ... and %1 more.").arg(problems.size() - ListedProblems);
    lines << QStringLiteral("Nothing was sent.");
    out.refusal = lines.join('\n');
    return out;
}

QStringList unsavedValueProblems(const SettingsRecord& record)
{
    const int primaryUnits = record.index("PrimaryUnits");
    QStringList problems;
    for (const SettingDesc& d : settingsTable()) {
        if (d.kind != SettingKind::Text || d.check == SaveCheck::None)
            continue;
        const QByteArray v = record.value(d.control);
        if (passesSaveCheck(d.check, v))
            continue;
        // The download's words where its rule refuses the value too; the save's own rule where
        // only the save is stricter.
        QString why = settingProblem(d, v.trimmed(), primaryUnits);
        if (why.isEmpty())
            why = d.check == SaveCheck::WholeInRange
                      ? QStringLiteral("is not a whole number from 0 to 999999")
                      : QStringLiteral("is not a number of -9999 or more");
        problems << QStringLiteral("%1=%2 %3.").arg(latin1(d.key), quoted(v), why);
    }
    return problems;
}

QByteArray numberCharacters(const char* key)
{
    const NumberRule* rule = numberRule(key);
    if (!rule)
        return {};
    if (rule->kind == Number::Whole)
        return "0123456789";
    return rule->floor < 0 ? "0123456789.-" : "0123456789.";
}

SettingsFileCheck readCheckedSettings(const QString& path)
{
    QString why;
    const auto bytes = readUserFile(path, SettingsFileLimit, &why);
    if (!bytes) {
        SettingsFileCheck out;
        out.refusal = why + QStringLiteral("\nNothing was sent.");
        return out;
    }
    return checkSettingsText(*bytes, path);
}

} // namespace kx
