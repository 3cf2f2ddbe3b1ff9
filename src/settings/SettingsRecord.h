#pragma once

#include "settings/OutputDefinition.h"
#include "settings/SettingsSchema.h"

#include <QByteArray>
#include <QMap>
#include <array>

namespace kx {

// One field of the ticket grid as the grid shows it: visibility text ("YES", "NO", "PIECE",
// "CNT GR", "CNT NT"), print line and character column as decimal text.
struct TicketField
{
    QByteArray visible;
    QByteArray row;
    QByteArray col;

    friend bool operator==(const TicketField&, const TicketField&) = default;
};

// One complete indicator setup as data: what the editor's controls hold. Values are keyed by
// the control names of settingsTable() and encoded as SettingKind says (an index as decimal
// text, "-1" for no item chosen; an item text, "" for none; "1"/"0" for flags; text as typed).
struct SettingsRecord
{
    QMap<QByteArray, QByteArray> values;
    OutputDefinition tempCom1;                        // COM1's custom output definition
    OutputDefinition tempCom2;                        // COM2's custom output definition
    std::array<TicketField, TicketFieldCount> ticket; // in ticketFields() order

    // The control's value; empty text when the record has none.
    QByteArray value(const QByteArray& control) const { return values.value(control); }
    void setValue(const QByteArray& control, const QByteArray& value) { values[control] = value; }
    // An Index value as a number; -1 when none is chosen or the text is not a number.
    int index(const QByteArray& control) const;
    bool flag(const QByteArray& control) const { return value(control) == "1"; }
    // An ItemText value's position in the control's list (the division list follows
    // "PrimaryUnits"); -1 when the text is not an item.
    int itemIndex(const QByteArray& control) const;

    friend bool operator==(const SettingsRecord&, const SettingsRecord&) = default;
};

// The record the New operation starts from: every setting at its new-record value, both custom
// outputs holding the "Morvell" preset as a fresh editor derives it, the ticket fields laid out
// in one column. "Network Type" is Field Bus here; New keeps the editor's current choice.
SettingsRecord newSettingsRecord();

// The record a file with no keys at all reads as (every setting at its default when missing,
// both custom outputs empty).
SettingsRecord defaultSettingsRecord();

} // namespace kx
