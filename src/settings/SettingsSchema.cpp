#include "settings/SettingsSchema.h"

#include <QString>
#include <algorithm>

namespace kx {
namespace {

using List = const char* const[];

constexpr List kSections = {section::Configuration, section::Calibration,  section::FieldBus,
                            section::FourTo20mA,    section::TicketFormat, section::Ticket,
                            section::PageSize,      section::CustomOutput, section::CustomOutput2};

// ---- option lists ----
constexpr List kTime = {"24 hour", "12hr AM/PM"};
constexpr List kDisplayRate = {"0.2", "0.4", "0.8"};
constexpr List kZeroRange = {"USA", "Canada", "Disable Zero Switch"};
constexpr List kSleepMode = {"OFF",        "1 Minute",   "2 Minutes", "5 Minutes",
                             "10 Minutes", "20 Minutes", "30 Minutes"};
constexpr List kBackLight = {"Always Off", "Always On", "BL POS", "BL TR1", "BL TR2"};
constexpr List kTimeInSeconds = {"15", "30", "60", "300"};
constexpr List kOperatingMode = {"Standard",         "Accumulation",       "Piece Count",
                                 "Peak Hold Stable", "Peak Hold Unstable", "Piece Count & Total"};
constexpr List kResolution = {"20000.0", "10000.0", "5000.0", "2000.0", "1000.0", "500.0",  "200.0",
                              "100.0",   "50.0",    "20.0",   "10.0",   "5.0",    "2.0",    "1.0",
                              "0.5",     "0.2",     "0.1",    "0.05",   "0.02",   "0.01",   "0.005",
                              "0.002",   "0.001",   "0.0005", "0.0002", "0.0001", "0.00005"};
constexpr List kInterface1 = {"OFF", "RS232", "RS485"};
constexpr List kInterface2 = {"OFF", "RS232", "RS485", "20ma Current Loop"};
constexpr List kPrintMode1 = {"OFF",    "button",    "Automatic", "Continuous", "Polled",
                              "rd7300", "rd7400",    "rd7500",    "rd7600",     "rd7800",
                              "rd9200", "ShipPoint", "UPS"};
constexpr List kPrintMode2 = {"OFF",       "Automatic", "Continuous", "Polled", "Remote Display",
                              "ShipPoint", "UPS"};
constexpr List kBaud = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr List kParity = {"None", "Odd", "Even"};
constexpr List kStopBits = {"1", "2"};
constexpr List kDataBits = {"7", "8"};

constexpr List kPrimaryUnits = {"lb", "kg", "oz", "g"};
constexpr List kTracking = {"OFF", "0.5", "1", "3"};
constexpr List kFilter = {"Standard", "Fast", "Slow", "Animal"};
constexpr List kAutoTare = {"OFF", "ON", "On-CLR"};
constexpr List kDivLb = {"0.0001", "0.0002", "0.0005", "0.001", "0.002", "0.005",
                         "0.01",   "0.02",   "0.05",   "0.1",   "0.2",   "0.5",
                         "1.0",    "2.0",    "5.0",    "10.0",  "20.0",  "50.0"};
constexpr List kDivKg = {"0.00005", "0.0001", "0.0002", "0.0005", "0.001", "0.002",
                         "0.005",   "0.01",   "0.02",   "0.05",   "0.1",   "0.2",
                         "0.5",     "1.0",    "2.0",    "5.0",    "10.0",  "20.0"};
constexpr List kDivOz = {"0.002", "0.005", "0.01",  "0.02",  "0.05",  "0.1",
                         "0.2",   "0.5",   "1.0",   "2.0",   "5.0",   "10.0",
                         "20.0",  "50.0",  "100.0", "200.0", "500.0", "1000.0"};
constexpr List kDivG = {"0.05",  "0.1",    "0.2",    "0.5",    "1.0",     "2.0",
                        "5.0",   "10.0",   "20.0",   "50.0",   "100.0",   "200.0",
                        "500.0", "1000.0", "2000.0", "5000.0", "10000.0", "20000.0"};

constexpr List kBusBaud = {"125 kbps", "250 kbps", "500 kbps", "Auto Baud"};
constexpr List kBusType = {"16-Bit Integer", "32-Bit Integer", "32-Bit Floating Pt"};
constexpr List kBusEndian = {"No Change", "Change Order"};
constexpr List kNoYes = {"NO", "YES"};
constexpr List kGrossNet = {"GROSS", "NET"};

constexpr List kPrinter = {"Citizens IDP 3550", "Okidata 186", "Okidata 420", "Epson TM-U295",
                           "Epson U590"};
constexpr List kLinesPerInch = {"6", "8", "12"};
constexpr List kInhibit = {"NONE", "HIGH", "LOW"};

constexpr std::span<const char* const> kNone{};

using K = SettingKind;
using C = SaveCheck;

SettingDesc index(const char* sec, const char* key, const char* control,
                  std::span<const char* const> options, const char* def, const char* fresh)
{
    return {sec, key, control, K::Index, options, def, fresh, 0, C::None, nullptr, nullptr};
}

SettingDesc flag(const char* sec, const char* key, const char* control, const char* def,
                 const char* fresh)
{
    return {sec, key, control, K::Flag, kNone, def, fresh, 0, C::None, nullptr, nullptr};
}

SettingDesc text(const char* sec, const char* key, const char* control, int maxLength,
                 const char* def, const char* fresh, SaveCheck check = C::None)
{
    return {sec, key, control, K::Text, kNone, def, fresh, maxLength, check, nullptr, nullptr};
}

SettingDesc itemText(const char* sec, const char* key, const char* control,
                     std::span<const char* const> options)
{
    return {sec, key, control, K::ItemText, options, "1.0", "1.0", 0, C::None, nullptr, nullptr};
}

const QList<SettingDesc>& table()
{
    static const QList<SettingDesc> t = [] {
        const char* cfg = section::Configuration;
        const char* cal = section::Calibration;
        const char* bus = section::FieldBus;
        const char* ma = section::FourTo20mA;
        const char* tkt = section::Ticket;
        const char* page = section::PageSize;
        // The three settings with a rule of their own.
        SettingDesc networkType = flag(bus, "Network Type", "NEEthernet", "0", "0");
        networkType.kind = K::RadioFlag;
        networkType.partner = "NEFieldBus";
        SettingDesc linesPerInch =
            index(tkt, "Lines/Inch", "LinesPerInch", kLinesPerInch, "0", "0");
        linesPerInch.writtenWhenNone = "-1";
        SettingDesc charWidth = text(tkt, "Char Width", "CharWidth", 2, "12", "12");
        charWidth.kind = K::Integer;

        QList<SettingDesc> d;
        d << index(cfg, "Time", "TimeEdit", kTime, "0", "1")
          << index(cfg, "Display Rate", "DisplayRate", kDisplayRate, "0", "1")
          << index(cfg, "Zero Range", "ZeroRange", kZeroRange, "0", "0")
          << index(cfg, "Sleep Mode", "SleepMode", kSleepMode, "0", "0")
          << index(cfg, "Backlight", "BackLight", kBackLight, "0", "2")
          << index(cfg, "Time In Seconds", "TimeInSeconds", kTimeInSeconds, "0", "2")
          << index(cfg, "Operating Mode", "OperatingMode", kOperatingMode, "0", "0")
          << flag(cfg, "lb Units", "RadioLB", "1", "1")
          << flag(cfg, "kg Units", "RadioKG", "0", "1")
          << flag(cfg, "gm Units", "RadioGM", "0", "0")
          << flag(cfg, "oz Units", "RadioOZ", "0", "0")
          << flag(cfg, "lb-oz Units", "RadioLBOZ", "0", "0")
          << flag(cfg, "Custom Units", "RadioCustom", "0", "0")
          << text(cfg, "Custom Name", "CustomName", 8, "", "Barrels")
          << text(cfg, "Custom Factor", "CustomFactor", 8, "0.0", "1.0")
          << itemText(cfg, "Custom Resolution", "CustomResolution", kResolution)
          << index(cfg, "Com1 Interface", "Interface1", kInterface1, "0", "1")
          << index(cfg, "Com1 Mode", "PrintMode1", kPrintMode1, "0", "1")
          << index(cfg, "Com1 Baud", "Com1Baud", kBaud, "3", "2")
          << index(cfg, "Com1 Parity", "Com1Parity", kParity, "2", "0")
          << index(cfg, "Com1 StopBits", "Com1StopBits", kStopBits, "1", "0")
          << index(cfg, "Com1 DataBits", "Com1DataBits", kDataBits, "1", "1")
          << index(cfg, "Com2 Interface", "Interface2", kInterface2, "0", "0")
          << index(cfg, "Com2 Mode", "PrintMode2", kPrintMode2, "0", "0")
          << index(cfg, "Com2 Baud", "Com2Baud", kBaud, "3", "2")
          << index(cfg, "Com2 Parity", "Com2Parity", kParity, "2", "0")
          << index(cfg, "Com2 StopBits", "Com2StopBits", kStopBits, "1", "1")
          << index(cfg, "Com2 DataBits", "Com2DataBits", kDataBits, "1", "1")

          << text(cal, "Scale Capacity", "ScaleCapacity", 6, "0", "5000", C::NumberNotBelowFloor)
          << index(cal, "Primary Units", "PrimaryUnits", kPrimaryUnits, "0", "0")
          << index(cal, "Auto Zero Tracking", "AZTracking", kTracking, "3", "3")
          << index(cal, "Motion Band", "MotionBand", kTracking, "3", "3")
          << itemText(cal, "Division Size", "DivisionSize", kNone)
          << index(cal, "Digital Filter", "Filter", kFilter, "0", "0")
          << index(cal, "Auto Tare Mode", "AutoTareMode", kAutoTare, "1", "1")

          << text(bus, "Node Address", "NEBusID", 3, "0", "1")
          << index(bus, "Bus Baud Rate", "NEBusBaud", kBusBaud, "0", "0")
          << index(bus, "Bus Data Type", "NEBusType", kBusType, "0", "0")
          << index(bus, "Bus Endian", "NEBusEndian", kBusEndian, "0", "0") << networkType

          << index(ma, "420 Enabled", "_4to20_Enabled", kNoYes, "0", "0")
          << text(ma, "Low Weight", "_4to20_Low", 6, "0", "0", C::NumberNotBelowFloor)
          << text(ma, "High Weight", "_4to20_High", 6, "0", "5000", C::NumberNotBelowFloor)
          << index(ma, "420 Mode", "_4to20_Mode", kGrossNet, "0", "0")
          << text(ma, "Setpoint1", "Setpoint1", 6, "0", "0", C::WholeInRange)
          << text(ma, "Setpoint2", "Setpoint2", 6, "0", "0", C::WholeInRange)

          << index(tkt, "Printer", "Printer", kPrinter, "0", "0") << linesPerInch << charWidth
          << index(tkt, "Inhibit", "Inhibit", kInhibit, "0", "0")

          << text(page, "Height", "EditHeight", 4, "11.0", "6.0")
          << text(page, "Width", "EditWidth", 4, "8.5", "3.0")
          << text(page, "Top Margin", "EditTop", 5, "0.5", "1.375")
          << text(page, "Left Margin", "EditLeft", 5, "0.5", "0.125")
          << text(page, "Bottom Margin", "EditBottom", 5, "0.5", "0.0")
          << text(page, "Right Margin", "EditRight", 5, "0.5", "0.125");
        return d;
    }();
    return t;
}

// ---- ticket fields ----
constexpr List kYesNo = {"NO", "YES"};
constexpr List kCount1 = {"NO", "PIECE", "CNT GR"};
constexpr List kCount2 = {"NO", "PIECE", "CNT NT"};
constexpr List kCount1Labels = {"", "COUNT1PC", "COUNT1GR"};
constexpr List kCount2Labels = {"", "COUNT2PC", "COUNT2NT"};

const TicketFieldDesc kTicketFields[TicketFieldCount] = {
    {"Time", "Time", "TimeText", "HH:MM AM", kYesNo, kNone, 1, 10, 6, 1, 10, 8},
    {"Date", "Date", "DateText", "MM/DD/YY", kYesNo, kNone, 1, 10, 8, 1, 12, 8},
    {"Gross", "Gross", "GrossText", "GGGGGG", kYesNo, kNone, 1, 10, 10, 1, 14, 8},
    {"Tare", "Tare", "TareText", "TTTTTT", kYesNo, kNone, 1, 10, 12, 1, 16, 8},
    {"Net", "Net", "NetText", "NNNNNN", kYesNo, kNone, 1, 10, 14, 1, 18, 8},
    {"Count", "Count1", "CountText", "COUNT1PC", kCount1, kCount1Labels, 0, 10, 16, 0, 20, 8},
    {"Accum", "Count2", "AccumText", "COUNT2PC", kCount2, kCount2Labels, 0, 10, 18, 0, 22, 8},
    {"Peak", "Peak Wt", "PeakText", "PEAK WT", kYesNo, kNone, 1, 10, 20, 0, 24, 8},
    {"GR Acc", "GR Acc", "GRAccText", "GR_ACC", kYesNo, kNone, 0, 10, 22, 0, 26, 8},
    {"NT Acc", "NT Acc", "NTAccText", "NT_ACC", kYesNo, kNone, 0, 10, 24, 0, 28, 8},
    {"ID", "ID", "IDText", "ID", kYesNo, kNone, 1, 10, 26, 0, 30, 8},
};

// ---- custom output keys ----
constexpr List kNoYesMixed = {"No", "Yes"};
constexpr List kOffOn = {"OFF", "ON"};
constexpr List kDecimalPoint = {"None", "Floating", "Fixed", "Trailing"};
constexpr List kJustify = {"Left", "Right"};
constexpr List kPositive = {"+", "None", "Space"};
constexpr List kNegative = {"-", "None", "Space"};
constexpr List kPollTokens = {
    "NONE", "SPACE", "STX", "ENQ", "CR", "User Defined Char", "User Defined String"};
constexpr int kPollCodes[] = {0, 32, 2, 5, 13, -1, 0};
constexpr List kStartTokens = {"NONE", "SOH", "STX", "ENQ", "CR", "CRLF", "User Defined"};
constexpr int kStartCodes[] = {0, 1, 2, 5, 13, 153, -1};
constexpr List kStopTokens = {"NONE", "ETX", "EOT", "CR", "CRLF", "User Defined"};
constexpr int kStopCodes[] = {0, 3, 4, 13, 153, -1};
constexpr List kBlockTokens = {"NONE", "SPACE", "CR", "LF", "CRLF", "User Defined"};
constexpr int kBlockCodes[] = {0, 32, 13, 10, 153, -1};
constexpr std::span<const int> kNoCodes{};

using O = OutputKeyKind;

const OutputKeyDesc kOutputKeys[] = {
    {"Stream Format", O::Text, "", nullptr, kNone, kNoCodes, nullptr, 0},
    {"Checksum", O::Integer, nullptr, "Checksum", kNoYesMixed, kNoCodes, nullptr, 0},
    {"Delimited", O::Integer, nullptr, "Delimited", kNoYesMixed, kNoCodes, nullptr, 0},
    {"Hardware Handshaking", O::Integer, nullptr, "HdwHandShaking", kOffOn, kNoCodes, nullptr, 0},
    {"Weight Digits", O::Text, "6", "Weight_Digits", kNone, kNoCodes, nullptr, 1},
    {"Leading Zeroes", O::Integer, nullptr, "Leading_Zeroes", kNoYesMixed, kNoCodes, nullptr, 0},
    {"Include Polarity", O::Flag, nullptr, "Include_Polarity", kNone, kNoCodes, nullptr, 0},
    {"Decimal Point", O::Integer, nullptr, "Decimal_Point", kDecimalPoint, kNoCodes, nullptr, 0},
    {"Fixed Decimal Places", O::Text, "0", "Fixed_Decimals", kNone, kNoCodes, nullptr, 1},
    {"Justify", O::Integer, nullptr, "Justify", kJustify, kNoCodes, nullptr, 0},
    {"Positive Polarity Token", O::Integer, nullptr, "Positive_Token", kPositive, kNoCodes, nullptr,
     0},
    {"Negative Polarity Token", O::Integer, nullptr, "Negative_Token", kNegative, kNoCodes, nullptr,
     0},
    {"Poll Token", O::Integer, nullptr, "Poll_Token", kPollTokens, kPollCodes, "Poll Char Token",
     0},
    {"Poll String", O::Text, "", "PollStr_Text", kNone, kNoCodes, nullptr, 32},
    {"Poll Char Token", O::Integer, nullptr, nullptr, kNone, kNoCodes, nullptr, 0},
    {"Start Token", O::Integer, nullptr, "Start_Token", kStartTokens, kStartCodes,
     "Start Char Token", 0},
    {"Start Char Token", O::Integer, nullptr, nullptr, kNone, kNoCodes, nullptr, 0},
    {"Stop Token", O::Integer, nullptr, "Stop_Token", kStopTokens, kStopCodes, "Stop Char Token",
     0},
    {"Stop Char Token", O::Integer, nullptr, nullptr, kNone, kNoCodes, nullptr, 0},
    {"Block Token", O::Integer, nullptr, "Block_Token", kBlockTokens, kBlockCodes,
     "Block Char Token", 0},
    {"Block Char Token", O::Integer, nullptr, nullptr, kNone, kNoCodes, nullptr, 0},
    {"Primary Units Token", O::Text, "", "Primary_Token", kNone, kNoCodes, nullptr, 8},
    {"Secondary Units Token", O::Text, "", "Secondary_Token", kNone, kNoCodes, nullptr, 8},
    {"Motion Token", O::Text, "", "Motion_Token", kNone, kNoCodes, nullptr, 8},
    {"Out of Range Token", O::Text, "", "Capacity_Token", kNone, kNoCodes, nullptr, 8},
    {"Gross Token", O::Text, "", "Gross_Token", kNone, kNoCodes, nullptr, 8},
    {"Tare Token", O::Text, "", "Tare_Token", kNone, kNoCodes, nullptr, 8},
    {"Net Token", O::Text, "", "Net_Token", kNone, kNoCodes, nullptr, 8},
    {"OK Token", O::Text, "", "OK_Token", kNone, kNoCodes, nullptr, 8},
    {"Invalid Token", O::Text, "", "Invalid_Token", kNone, kNoCodes, nullptr, 8},
};

bool sameName(const char* a, const QByteArray& b)
{
    return b.compare(a, Qt::CaseInsensitive) == 0;
}

} // namespace

std::span<const char* const> sectionOrder()
{
    return kSections;
}

std::span<const SettingDesc> settingsTable()
{
    return {table().constData(), static_cast<size_t>(table().size())};
}

const SettingDesc* findSetting(const QByteArray& control)
{
    for (const SettingDesc& d : settingsTable())
        if (control == d.control)
            return &d;
    return nullptr;
}

const SettingDesc* findSettingByKey(const QByteArray& sec, const QByteArray& key)
{
    for (const SettingDesc& d : settingsTable())
        if (sameName(d.section, sec) && sameName(d.key, key))
            return &d;
    return nullptr;
}

std::span<const char* const> divisionList(int primaryUnits)
{
    switch (primaryUnits) {
    case 1:
        return kDivKg;
    case 2:
        return kDivOz;
    case 3:
        return kDivG;
    default:
        return kDivLb;
    }
}

std::span<const char* const> optionsFor(const SettingDesc& desc, int primaryUnits)
{
    if (qstrcmp(desc.control, "DivisionSize") == 0)
        return divisionList(primaryUnits);
    return desc.options;
}

QStringList optionTexts(std::span<const char* const> options)
{
    QStringList out;
    for (const char* o : options)
        out << QString::fromLatin1(o);
    return out;
}

std::span<const TicketFieldDesc> ticketFields()
{
    return kTicketFields;
}

QByteArray ticketKey(const TicketFieldDesc& field, const char* part)
{
    return QByteArray(field.keyPrefix) + ' ' + part;
}

std::span<const OutputKeyDesc> outputKeys()
{
    return kOutputKeys;
}

const OutputKeyDesc* findOutputKey(const QByteArray& key)
{
    for (const OutputKeyDesc& d : outputKeys())
        if (sameName(d.key, key))
            return &d;
    return nullptr;
}

int wrapperCode(const OutputKeyDesc& token, int item, int storedCode)
{
    if (item < 0 || item >= static_cast<int>(token.codes.size()))
        return 0;
    const int code = token.codes[static_cast<size_t>(item)];
    return code < 0 ? storedCode : code;
}

} // namespace kx
