#pragma once

#include "settings/IniDocument.h"
#include "settings/SettingsRecord.h"

namespace kx {

// The mapping between a settings record and the .dat file, by the tables of SettingsSchema.h.

// The record the document holds. Missing keys and values that do not parse take their
// defaults; an index outside its list or an item text not in its list is kept as read (the
// editor then shows no item chosen, and a save leaves the file's value alone).
SettingsRecord readSettings(const IniDocument& doc);

// Writes the record into the document, section by section in file order, replacing keys where
// they stand. Keys the save rules skip keep whatever the document held.
void writeSettings(IniDocument& doc, const SettingsRecord& record);

// One custom output section as a definition list: every key=value line in file order.
OutputDefinition readOutputDefinition(const IniDocument& doc, const QByteArray& section);
// Writes a definition by the custom output key table; keys outside the table are not written.
void writeOutputDefinition(IniDocument& doc, const QByteArray& section,
                           const OutputDefinition& definition);

// The leading whole number of a text (blanks, then an optional sign and digits); 0 when it has
// no leading digits.
int leadingInteger(const QByteArray& text);
// Whether a typed value passes the check a save applies before writing it.
bool passesSaveCheck(SaveCheck check, const QByteArray& text);

} // namespace kx
