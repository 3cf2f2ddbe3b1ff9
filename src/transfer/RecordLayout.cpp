#include "transfer/RecordLayout.h"

#include "settings/SettingsSchema.h"

namespace kx {
namespace {

using S = SendAs;
using R = ReadAs;

constexpr FieldLayout kConfiguration[] = {
    {"Time", S::Index, R::Number},
    {"Display Rate", S::IndexPlusOne, R::LessOne},
    {"lb Units", S::UnitBox, R::AsIs},
    {"kg Units", S::UnitBox, R::AsIs},
    {"gm Units", S::UnitBox, R::AsIs},
    {"oz Units", S::UnitBox, R::AsIs},
    {"lb-oz Units", S::UnitBox, R::AsIs},
    {"Custom Units", S::UnitBox, R::AsIs},
    {"Custom Name", S::Quoted, R::Unquoted},
    {"Custom Factor", S::Factor, R::Trimmed},
    {"Custom Resolution", S::Text, R::DecimalTrim},
    {"Zero Range", S::Index, R::Number},
    {"Sleep Mode", S::IndexPlusOne, R::LessOne},
    {"Backlight", S::IndexPlusOne, R::LessOne},
    {"Time In Seconds", S::IndexPlusOne, R::LessOne},
    {"Operating Mode", S::IndexPlusOne, R::LessOne},
    {"Com1 Interface", S::IndexPlusOne, R::LessOne},
    {"Com1 Mode", S::TwoDigits, R::LessOne},
    {"Com1 Baud", S::IndexPlusOne, R::LessOne},
    {"Com1 Parity", S::IndexPlusOne, R::LessOne},
    {"Com1 StopBits", S::IndexPlusOne, R::LessOne},
    {"Com1 DataBits", S::IndexPlusOne, R::LessOne},
    {"Com2 Interface", S::IndexPlusOne, R::LessOne},
    {"Com2 Mode", S::IndexPlusOne, R::LessOne},
    {"Com2 Baud", S::IndexPlusOne, R::LessOne},
    {"Com2 Parity", S::IndexPlusOne, R::LessOne},
    {"Com2 StopBits", S::IndexPlusOne, R::LessOne},
    {"Com2 DataBits", S::IndexPlusOne, R::LessOne},
};

constexpr FieldLayout kCalibration[] = {
    {"Scale Capacity", S::Text, R::Trimmed},
    {"Primary Units", S::IndexPlusOne, R::LessOne},
    {"Auto Zero Tracking", S::IndexPlusOne, R::LessOne},
    {"Motion Band", S::IndexPlusOne, R::LessOne},
    {"Division Size", S::Text, R::DecimalTrim},
    {"Digital Filter", S::IndexPlusOne, R::LessOne},
    {"Auto Tare Mode", S::IndexPlusOne, R::LessOne},
};

constexpr FieldLayout kFieldBus[] = {
    {"Node Address", S::Text, R::AsIs},
    {"Bus Baud Rate", S::IndexPlusOne, R::LessOne},
    {"Bus Data Type", S::IndexPlusOne, R::LessOne},
    {"Bus Endian", S::IndexPlusOne, R::LessOne},
    {"Network Type", S::NetworkBox, R::AsIs},
};

constexpr FieldLayout kFourTo20mA[] = {
    {"Low Weight", S::Text, R::Trimmed},
    {"High Weight", S::Text, R::Trimmed},
    {"420 Mode", S::IndexPlusOne, R::LessOne},
    {"420 Enabled", S::IndexPlusOne, R::LessOne},
    {"Setpoint1", S::Text, R::SetPoint},
    {"Setpoint2", S::Text, R::SetPoint},
};

constexpr FieldLayout kPrinter[] = {
    {"Printer", S::IndexPlusOne, R::LessOne},
    {"Lines/Inch", S::IndexPlusOne, R::LessOne},
    {"Char Width", S::Number2, R::AsIs},
    {"Inhibit", S::IndexPlusOne, R::LessOne},
};

constexpr FieldLayout kStream[] = {{"Stream Format", S::Text, R::AsIs}};

constexpr FieldLayout kOutput[] = {
    {"Checksum", S::Index, R::Number},
    {"Delimited", S::Index, R::Number},
    {"Hardware Handshaking", S::Index, R::Number},
    {"Weight Digits", S::Text, R::AsIs},
    {"Leading Zeroes", S::Index, R::Number},
    {"Include Polarity", S::Polarity, R::Number},
    {"Decimal Point", S::Index, R::Number},
    {"Fixed Decimal Places", S::Text, R::AsIs},
    {"Justify", S::Index, R::Number},
    {"Positive Polarity Token", S::Index, R::Number},
    {"Negative Polarity Token", S::Index, R::Number},
    {"Poll Token", S::Index, R::Number},
    {"Poll Char Token", S::CharCode, R::Hex, "Poll Token", 5, "0D", ""},
    {"Poll String", S::Text, R::AsIs},
    {"Start Token", S::Index, R::Number},
    {"Start Char Token", S::CharCode, R::Hex, "Start Token", 6, "02", ""},
    {"Stop Token", S::Index, R::Number},
    {"Stop Char Token", S::CharCode, R::Hex, "Stop Token", 5, "0D", ""},
    {"Block Token", S::Index, R::Number},
    {"Block Char Token", S::CharCode, R::Hex, "Block Token", 5, "20", ""},
    {"Primary Units Token", S::Text, R::AsIs},
    {"Secondary Units Token", S::Text, R::AsIs},
    {"Motion Token", S::Text, R::AsIs},
    {"Out of Range Token", S::Text, R::AsIs},
    {"Gross Token", S::Text, R::AsIs},
    {"Tare Token", S::Text, R::AsIs},
    {"Net Token", S::Text, R::AsIs},
    {"OK Token", S::Text, R::AsIs},
    {"Invalid Token", S::Text, R::AsIs},
};

using RK = RecordKind;

const RecordLayout kRecords[] = {
    {"[CFG],", RK::Fields, section::Configuration, "Unable to Write Configuration Data.",
     kConfiguration},
    {"[CAL],", RK::Fields, section::Calibration, "Unable to Write Calibration Data.", kCalibration},
    {"[ANY],", RK::Fields, section::FieldBus, "Unable to Write FieldBus Settings.", kFieldBus},
    {"[420],", RK::Fields, section::FourTo20mA, "Unable to Write 4-20ma Settings.", kFourTo20mA},
    {"[TKT],", RK::Ticket, section::TicketFormat, "Unable to write Ticket Format.", {}},
    {"[PRN],", RK::Fields, section::Ticket, "Unable to Write Printer Settings.", kPrinter},
    {"[CST],", RK::StreamFormat, section::CustomOutput, "Unable to Write Custom String.", kStream},
    {"[CFM],", RK::Fields, nullptr, "Unable to Write Custom Output Definition.", kOutput},
    {"[CS2],", RK::StreamFormat, section::CustomOutput2, "Unable to Write Custom String.", kStream},
    {"[CF2],", RK::Fields, nullptr, "Unable to Write Custom Output 2 Definition.", kOutput},
    {"[TAD],", RK::DateTime, nullptr, "Unable to Write Date/Time.", {}},
};

constexpr TicketLetter kTicketLetters[TicketFieldCount] = {
    {'t', 0}, {'d', 0}, {'G', 0}, {'T', 0}, {'N', 0}, {'C', 'c'},
    {'A', 'a'}, {'P', 0}, {'g', 0}, {'n', 0}, {'I', 0},
};

} // namespace

namespace records {
const RecordLayout& configuration() { return kRecords[0]; }
const RecordLayout& calibration() { return kRecords[1]; }
const RecordLayout& fieldBus() { return kRecords[2]; }
const RecordLayout& fourTo20mA() { return kRecords[3]; }
const RecordLayout& ticket() { return kRecords[4]; }
const RecordLayout& printer() { return kRecords[5]; }
const RecordLayout& stream() { return kRecords[6]; }
const RecordLayout& output() { return kRecords[7]; }
const RecordLayout& stream2() { return kRecords[8]; }
const RecordLayout& output2() { return kRecords[9]; }
const RecordLayout& dateTime() { return kRecords[10]; }
} // namespace records

QByteArray breakingCharacters(const RecordLayout& layout, const FieldLayout& field)
{
    switch (field.send) {
    case SendAs::Quoted:
        return "\r\n\"";
    case SendAs::Text:
        return layout.kind == RecordKind::StreamFormat ? "\r\n" : "\r\n,";
    default:
        return {};
    }
}

QByteArray breakingCharacters(const char* key)
{
    for (const RecordLayout& layout : kRecords)
        for (const FieldLayout& f : layout.fields)
            if (qstrcmp(f.key, key) == 0)
                return breakingCharacters(layout, f);
    return {};
}

std::span<const TicketLetter> ticketLetters()
{
    return kTicketLetters;
}

} // namespace kx
