#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <span>

namespace kx {

// Every setting of a .dat file is described once, here. Loading, saving, the editor's controls,
// the download records and the upload parser all work from these tables, so a key, a list or a
// default is never spelled out a second time.

namespace section {
inline constexpr char Configuration[] = "Configuration";
inline constexpr char Calibration[] = "Calibration";
inline constexpr char FieldBus[] = "FieldBus";
inline constexpr char FourTo20mA[] = "4to20ma";
inline constexpr char TicketFormat[] = "Ticket Format";
inline constexpr char Ticket[] = "Ticket";
inline constexpr char PageSize[] = "Page Size";
inline constexpr char CustomOutput[] = "Custom Output";
inline constexpr char CustomOutput2[] = "Custom Output 2";
} // namespace section

// The sections in the order a file written from nothing holds them.
std::span<const char* const> sectionOrder();

// How a setting's value is held in the record, stored in the file and shown by its control.
// Record values are always text (QByteArray), in the same encoding the file uses.
enum class SettingKind
{
    Index,     // QComboBox by currentIndex; the value is the item's position, "-1" when none chosen
    ItemText,  // QComboBox by currentText; the value is the item's own text, "" when none chosen
    Flag,      // QCheckBox; "1" checked, "0" not
    Text,      // QLineEdit text, exactly as typed
    Integer,   // QLineEdit text; the file keeps its leading whole number
    RadioFlag, // two QRadioButtons: `control` checked is "1", `partner` checked is "0"
};

// A check a typed number must pass before a save writes it; a failing value is not written and
// the file keeps its earlier one.
enum class SaveCheck
{
    None,
    NumberNotBelowFloor, // a decimal number (point as separator) of -9999 or more
    WholeInRange,        // a whole decimal number from 0 to 999999
};

struct SettingDesc
{
    const char* section;
    const char* key;
    const char* control; // the editor control's objectName
    SettingKind kind;
    // Item texts for Index and ItemText, in list order. Empty for "Division Size", whose
    // list follows the primary units: use divisionList() or optionsFor().
    std::span<const char* const> options;
    const char* missingDefault; // the record value when the file lacks the key or it does not parse
    const char* newValue;       // the record value of a new record
    // The editor's typing limit for Text and Integer (0: none). It limits typing only: a
    // longer value read from a file is kept as read (QLineEdit::setMaxLength would cut it).
    int maxLength;
    SaveCheck check;
    const char* partner;         // RadioFlag: the button checked while the flag is off
    const char* writtenWhenNone; // Index: written in place of a missing choice (else skipped)
};

// The settings of every section but "Ticket Format" and the custom outputs, in file order.
std::span<const SettingDesc> settingsTable();
// The description of the setting bound to that control, or nullptr.
const SettingDesc* findSetting(const QByteArray& control);
const SettingDesc* findSettingByKey(const QByteArray& section, const QByteArray& key);

// The division list of a primary unit (index 1 kg, 2 oz, 3 g, anything else lb).
std::span<const char* const> divisionList(int primaryUnits);
// The item texts a control offers; the division list follows primaryUnits.
std::span<const char* const> optionsFor(const SettingDesc& desc, int primaryUnits);
// Item texts as shown (Latin-1), for filling a QComboBox.
QStringList optionTexts(std::span<const char* const> options);

// ---- Section "Ticket Format": eleven fields, each with Visible, Row and Col keys ------------

inline constexpr int TicketFieldCount = 11;

struct TicketFieldDesc
{
    const char* keyPrefix; // "Time" gives "Time Visible", "Time Row", "Time Col"
    const char* header;    // the field grid's column header
    const char* labelName; // objectName of the field's label on the page
    const char* labelText; // the label's text for a plain YES/NO field
    // The grid texts by stored code: {"NO", "YES"} for plain fields, three for the counts.
    std::span<const char* const> visibleTexts;
    // Count fields: the label's text by code (index 0 unused); empty for plain fields.
    std::span<const char* const> codeLabels;
    int missingVisible, missingRow, missingCol;
    int newVisible, newRow, newCol;
};

std::span<const TicketFieldDesc> ticketFields();
QByteArray ticketKey(const TicketFieldDesc& field,
                     const char* part); // part: "Visible", "Row", "Col"

// ---- Sections "Custom Output" and "Custom Output 2" --------------------------------------------

// How a save writes a custom output key.
enum class OutputKeyKind
{
    Text,    // as held; a missing key is written as missingText
    Integer, // the leading whole number of the value; a missing key is not written
    Flag,    // "1" when the value is exactly "1", else "0"; a missing key is not written
};

struct OutputKeyDesc
{
    const char* key;
    OutputKeyKind kind;
    const char* missingText; // Text keys: written when the definition lacks the key
    const char* control;     // the builder control, or nullptr (stream format, char codes)
    std::span<const char* const> options; // combo items for index keys
    // Wrapper token lists: the character code each item stands for; -1 means "the code kept
    // under codeKey" (the user-defined items). Empty for other keys.
    std::span<const int> codes;
    const char* codeKey; // e.g. "Poll Char Token" for "Poll Token"; else nullptr
    int maxLength;       // typing limit of a text box; 0 none
};

// The custom output keys in the order a save writes them.
std::span<const OutputKeyDesc> outputKeys();
const OutputKeyDesc* findOutputKey(const QByteArray& key);

// The character code a wrapper token item stands for, given the code stored under its
// codeKey; 0 for an item outside the list.
int wrapperCode(const OutputKeyDesc& token, int item, int storedCode);

} // namespace kx
