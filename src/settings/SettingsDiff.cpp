#include "settings/SettingsDiff.h"

namespace kx {
namespace {

QString text(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

// A custom output's key with its list text where the key has one.
QString shownOutputValue(const QByteArray& key, const QByteArray& value)
{
    const OutputKeyDesc* d = findOutputKey(key);
    bool ok = false;
    const int index = value.toInt(&ok);
    if (d && ok && index >= 0 && index < int(d->options.size()))
        return QString::fromLatin1(d->options[index]);
    return text(value);
}

// A wrapper's character code travels only while its token is the user-defined one.
bool codeIsCarried(const OutputKeyDesc& key, const OutputDefinition& def)
{
    for (const OutputKeyDesc& token : outputKeys()) {
        if (!token.codeKey || QByteArrayView(token.codeKey) != QByteArrayView(key.key))
            continue;
        bool ok = false;
        const int item = def.value(token.key).toInt(&ok);
        return ok && item >= 0 && item < int(token.codes.size()) && token.codes[item] == -1;
    }
    return true;
}

} // namespace

QString shownValue(const SettingDesc& setting, const SettingsRecord& record)
{
    const QByteArray value = record.value(setting.control);
    switch (setting.kind) {
    case SettingKind::Index: {
        const int index = record.index(setting.control);
        const auto options = optionsFor(setting, record.index("PrimaryUnits"));
        if (index >= 0 && index < int(options.size()))
            return QString::fromLatin1(options[index]);
        return index < 0 ? QStringLiteral("(none)") : QStringLiteral("(item %1)").arg(index);
    }
    case SettingKind::Flag:
    case SettingKind::RadioFlag:
        return record.flag(setting.control) ? QStringLiteral("checked")
                                            : QStringLiteral("not checked");
    case SettingKind::ItemText:
    case SettingKind::Text:
    case SettingKind::Integer:
        break;
    }
    return value.isEmpty() ? QStringLiteral("(empty)") : text(value);
}

QList<SettingDifference> diffSettings(const SettingsRecord& a, const SettingsRecord& b,
                                      const DiffScope& scope)
{
    QList<SettingDifference> out;
    for (const ComparedSetting& c : compareSettings(a, b, scope))
        if (c.differs)
            out.append(c.values);
    return out;
}

QList<ComparedSetting> compareSettings(const SettingsRecord& a, const SettingsRecord& b,
                                       const DiffScope& scope)
{
    QList<ComparedSetting> out;
    for (const SettingDesc& d : settingsTable()) {
        if (scope.carriedOnly && QByteArrayView(d.section) == QByteArrayView(section::PageSize))
            continue;
        const QString first = shownValue(d, a), second = shownValue(d, b);
        out.append({{QString::fromLatin1(d.section), QString::fromLatin1(d.key), first, second},
                    first != second});
    }
    const auto fields = ticketFields();
    for (int i = 0; i < TicketFieldCount; ++i) {
        const TicketField& x = a.ticket[i];
        const TicketField& y = b.ticket[i];
        const auto hidden = [&](const TicketField& f) {
            return f.visible.compare(fields[i].visibleTexts[0], Qt::CaseInsensitive) == 0;
        };
        if (scope.carriedOnly && hidden(x) && hidden(y))
            continue;
        const std::pair<const char*, std::pair<QByteArray, QByteArray>> parts[] = {
            {"Visible", {x.visible, y.visible}}, {"Row", {x.row, y.row}}, {"Col", {x.col, y.col}}};
        for (const auto& [part, values] : parts)
            out.append({{QString::fromLatin1(section::TicketFormat),
                         QString::fromLatin1(ticketKey(fields[i], part)), text(values.first),
                         text(values.second)},
                        values.first != values.second});
    }
    const std::pair<const char*, std::pair<const OutputDefinition*, const OutputDefinition*>>
        outputs[] = {{section::CustomOutput, {&a.tempCom1, &b.tempCom1}},
                     {section::CustomOutput2, {&a.tempCom2, &b.tempCom2}}};
    for (const auto& [sectionName, defs] : outputs) {
        if (scope.carriedOnly && !scope.secondOutput
            && QByteArrayView(sectionName) == QByteArrayView(section::CustomOutput2))
            continue;
        for (const OutputKeyDesc& key : outputKeys()) {
            if (scope.carriedOnly && !codeIsCarried(key, *defs.first))
                continue;
            const bool inFirst = defs.first->hasKey(key.key), inSecond = defs.second->hasKey(key.key);
            const QByteArray v1 = defs.first->value(key.key), v2 = defs.second->value(key.key);
            out.append({{QString::fromLatin1(sectionName), QString::fromLatin1(key.key),
                         inFirst ? shownOutputValue(key.key, v1) : QStringLiteral("(missing)"),
                         inSecond ? shownOutputValue(key.key, v2) : QStringLiteral("(missing)")},
                        v1 != v2 || inFirst != inSecond});
        }
    }
    return out;
}

int settingsCompared(const SettingsRecord& record, const DiffScope& scope)
{
    int n = 0;
    for (const SettingDesc& d : settingsTable())
        if (!scope.carriedOnly || QByteArrayView(d.section) != QByteArrayView(section::PageSize))
            ++n;
    const auto fields = ticketFields();
    for (int i = 0; i < TicketFieldCount; ++i) {
        const bool hidden = record.ticket[i].visible.compare(fields[i].visibleTexts[0],
                                                             Qt::CaseInsensitive) == 0;
        if (!scope.carriedOnly || !hidden)
            n += 3;
    }
    const OutputDefinition* defs[] = {&record.tempCom1, &record.tempCom2};
    for (int o = 0; o < 2; ++o) {
        if (o == 1 && scope.carriedOnly && !scope.secondOutput)
            continue;
        for (const OutputKeyDesc& key : outputKeys())
            if (!scope.carriedOnly || codeIsCarried(key, *defs[o]))
                ++n;
    }
    return n;
}

} // namespace kx
