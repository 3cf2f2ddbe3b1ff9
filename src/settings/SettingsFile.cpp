#include "settings/SettingsFile.h"

#include "settings/TicketLayout.h"

#include <QtGlobal>
#include <algorithm>
#include <climits>
#include <cmath>

namespace kx {
namespace {

QByteArray number(int v)
{
    return QByteArray::number(v);
}

int defaultInteger(const char* text)
{
    return IniDocument::parseInteger(text).value_or(0);
}

QByteArray readValue(const IniDocument& doc, const SettingDesc& d)
{
    switch (d.kind) {
    case SettingKind::Index:
    case SettingKind::Integer:
        return number(doc.readInteger(d.section, d.key, defaultInteger(d.missingDefault)));
    case SettingKind::Flag:
    case SettingKind::RadioFlag:
        return doc.readInteger(d.section, d.key, defaultInteger(d.missingDefault)) != 0 ? "1" : "0";
    case SettingKind::ItemText:
    case SettingKind::Text:
        break;
    }
    return doc.readString(d.section, d.key, d.missingDefault);
}

// The text a save writes for a setting, or nothing when the rules skip the key.
std::optional<QByteArray> savedValue(const SettingDesc& d, const SettingsRecord& record)
{
    const QByteArray v = record.value(d.control);
    switch (d.kind) {
    case SettingKind::Index: {
        const int i = record.index(d.control);
        if (i >= 0 && i < static_cast<int>(d.options.size()))
            return number(i);
        if (d.writtenWhenNone)
            return QByteArray(d.writtenWhenNone);
        return std::nullopt;
    }
    case SettingKind::ItemText:
        if (record.itemIndex(d.control) < 0)
            return std::nullopt;
        return v;
    case SettingKind::Flag:
    case SettingKind::RadioFlag:
        return IniDocument::parseInteger(v).value_or(0) != 0 ? "1" : "0";
    case SettingKind::Text:
        if (!passesSaveCheck(d.check, v))
            return std::nullopt;
        return v;
    case SettingKind::Integer:
        return number(leadingInteger(v));
    }
    return std::nullopt;
}

// The code a ticket field's grid text stands for: its position among the field's texts, upper
// case being enough ("yes" is "YES"); anything else is 0, hidden.
int visibleCode(const TicketFieldDesc& f, const QByteArray& text)
{
    const QByteArray upper = text.toUpper();
    for (size_t i = 1; i < f.visibleTexts.size(); ++i)
        if (upper == f.visibleTexts[i])
            return static_cast<int>(i);
    return 0;
}

QByteArray visibleText(const TicketFieldDesc& f, int code)
{
    const bool plainFlag = f.visibleTexts.size() == 2;
    if (plainFlag)
        return f.visibleTexts[code != 0 ? 1 : 0];
    if (code < 0 || code >= static_cast<int>(f.visibleTexts.size()))
        code = 0;
    return f.visibleTexts[static_cast<size_t>(code)];
}

void writeTicketFormat(IniDocument& doc, const SettingsRecord& record)
{
    const auto fields = ticketFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const TicketFieldDesc& f = fields[i];
        const TicketField& t = record.ticket[i];
        doc.writeInteger(section::TicketFormat, ticketKey(f, "Visible"), visibleCode(f, t.visible));
        doc.writeInteger(section::TicketFormat, ticketKey(f, "Row"), leadingInteger(t.row));
        doc.writeInteger(section::TicketFormat, ticketKey(f, "Col"), leadingInteger(t.col));
    }
}

} // namespace

int leadingInteger(const QByteArray& text)
{
    int i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min<long long>(v * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    v = negative ? -v : v;
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

bool passesSaveCheck(SaveCheck check, const QByteArray& text)
{
    switch (check) {
    case SaveCheck::None:
        return true;
    case SaveCheck::NumberNotBelowFloor: {
        // Always the point as decimal separator: files travel between PCs.
        bool ok = false;
        const double v = text.toDouble(&ok);
        return ok && std::isfinite(v) && v >= -9999.0;
    }
    case SaveCheck::WholeInRange: {
        const QByteArray t = text.trimmed();
        int i = 0;
        if (t.startsWith('+') || t.startsWith('-'))
            i = 1;
        if (i == t.size())
            return false;
        long long v = 0;
        for (; i < t.size(); ++i) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            v = std::min<long long>(v * 10 + (t[i] - '0'), 1000000);
        }
        if (t.startsWith('-'))
            v = -v;
        return v >= 0 && v <= 999999;
    }
    }
    return false;
}

SettingsRecord readSettings(const IniDocument& doc)
{
    SettingsRecord r;
    for (const SettingDesc& d : settingsTable())
        r.setValue(d.control, readValue(doc, d));

    const auto fields = ticketFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const TicketFieldDesc& f = fields[i];
        const int code =
            doc.readInteger(section::TicketFormat, ticketKey(f, "Visible"), f.missingVisible);
        // A place the indicator cannot sort (four digits) is held to its range here, so the
        // designer's arithmetic never sees a hand-edited 200000000.
        const auto place = [&](const char* part, int missing) {
            return number(std::clamp(doc.readInteger(section::TicketFormat, ticketKey(f, part),
                                                     missing),
                                     0, MaxTicketCell));
        };
        r.ticket[i] = {visibleText(f, code), place("Row", f.missingRow), place("Col", f.missingCol)};
    }

    r.tempCom1 = readOutputDefinition(doc, section::CustomOutput);
    r.tempCom2 = readOutputDefinition(doc, section::CustomOutput2);
    // A file from a one-output setup has no second section: COM2 starts as a copy of COM1.
    if (r.tempCom2.isEmpty())
        r.tempCom2 = r.tempCom1;
    return r;
}

void writeSettings(IniDocument& doc, const SettingsRecord& record)
{
    for (const char* sec : sectionOrder()) {
        if (qstrcmp(sec, section::TicketFormat) == 0) {
            writeTicketFormat(doc, record);
            continue;
        }
        if (qstrcmp(sec, section::CustomOutput) == 0) {
            writeOutputDefinition(doc, sec, record.tempCom1);
            continue;
        }
        if (qstrcmp(sec, section::CustomOutput2) == 0) {
            writeOutputDefinition(doc, sec, record.tempCom2);
            continue;
        }
        for (const SettingDesc& d : settingsTable()) {
            if (qstrcmp(d.section, sec) != 0)
                continue;
            if (const auto v = savedValue(d, record))
                doc.writeString(d.section, d.key, *v);
        }
    }
}

OutputDefinition readOutputDefinition(const IniDocument& doc, const QByteArray& sec)
{
    return OutputDefinition(doc.entries(sec));
}

void writeOutputDefinition(IniDocument& doc, const QByteArray& sec,
                           const OutputDefinition& definition)
{
    for (const OutputKeyDesc& k : outputKeys()) {
        const bool present = definition.hasKey(k.key);
        const QByteArray v = definition.value(k.key);
        switch (k.kind) {
        case OutputKeyKind::Text:
            doc.writeString(sec, k.key, present ? v : QByteArray(k.missingText));
            break;
        case OutputKeyKind::Integer:
            if (present)
                doc.writeInteger(sec, k.key, leadingInteger(v));
            break;
        case OutputKeyKind::Flag:
            if (present)
                doc.writeString(sec, k.key, v == "1" ? "1" : "0");
            break;
        }
    }
}

} // namespace kx
