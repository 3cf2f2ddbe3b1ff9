#pragma once

#include <QByteArray>
#include <span>

namespace kx {

// The transfer records as the indicator reads and writes them, described once: the download
// builds each field from this table and the upload reads each field back by it. A key is the
// settings file's key (see SettingsSchema.h); a test checks that every key here is described
// there.

// How a download writes a field.
enum class SendAs
{
    Index,        // one digit: the stored index
    IndexPlusOne, // one digit: the stored index + 1
    TwoDigits,    // two digits, zero-padded: the stored index + 1 ("Com1 Mode")
    Number2,      // two digits, zero-padded: the stored number itself ("Char Width")
    Text,         // the stored text
    Quoted,       // the stored text between double quotes
    Factor,       // the custom factor, with as many decimals as stored
    UnitBox,      // one digit: the unit's check box on the editor (1 ticked, 0 not)
    NetworkBox,   // one digit: 0 when the editor's network choice is "Field Bus", else 1
    Polarity,     // one digit: 1 when the stored text is exactly "1", else 0
    CharCode,     // the stored decimal code in hexadecimal when the token is user-defined,
                  // else the record's fixed text
};

// How an upload reads a field back into its key line.
enum class ReadAs
{
    AsIs,
    Number,      // leading whole number, never below 0
    LessOne,     // as Number, one less; 0 stays 0
    Trimmed,     // without blanks and control characters around it
    Unquoted,    // without its first and last characters
    DecimalTrim, // cut after the first significant digit, one decimal at least
    Hex,         // hexadecimal digits written back in decimal
    SetPoint,    // Trimmed; with no field left, the editor's set point box stands in
};

struct FieldLayout
{
    const char* key;
    SendAs send;
    ReadAs read;
    // CharCode fields: the token key deciding them, the token's user-defined index, and the
    // fixed texts written otherwise in the first and in the second custom output's record.
    const char* tokenKey = nullptr;
    int userDefined = -1;
    const char* fixedFirst = nullptr;
    const char* fixedSecond = nullptr;
};

enum class RecordKind
{
    Fields,       // comma-ended fields by a FieldLayout table
    Ticket,       // letter, row and column of each shown ticket field
    StreamFormat, // the custom stream format string as stored
    DateTime,     // the PC's clock
};

struct RecordLayout
{
    const char* tag;         // "[CFG]," ...
    RecordKind kind;
    const char* section;     // the section an upload fills (nullptr: continues the last one)
    const char* failureText; // the download's line when the record cannot be built
    std::span<const FieldLayout> fields;
};

namespace records {
const RecordLayout& configuration();  // [CFG]
const RecordLayout& calibration();    // [CAL]
const RecordLayout& fieldBus();       // [ANY]
const RecordLayout& fourTo20mA();     // [420]
const RecordLayout& ticket();         // [TKT]
const RecordLayout& printer();        // [PRN]
const RecordLayout& stream();         // [CST]
const RecordLayout& output();         // [CFM]
const RecordLayout& stream2();        // [CS2]
const RecordLayout& output2();        // [CF2]
const RecordLayout& dateTime();       // [TAD]
} // namespace records

// The characters a text field's value cannot hold without breaking its record: CR and LF
// anywhere, a double quote inside a quoted field, a comma in an unquoted one (the stream
// format, its record's one field, carries commas). Empty for fields that are not text.
QByteArray breakingCharacters(const RecordLayout& layout, const FieldLayout& field);
// The same for the field a settings key is sent in, in whichever record; empty when no text
// field carries the key.
QByteArray breakingCharacters(const char* key);

// The letter of each ticket field in the ticket record, in the order of ticketFields(); the
// count fields also have a lower-case letter for their second visible value.
struct TicketLetter
{
    char letter;      // visible value 1 (or any value but 0 and 2 for the counts)
    char secondValue; // visible value 2; 0 for plain fields
};
std::span<const TicketLetter> ticketLetters();

} // namespace kx
