#include "settings/SettingCaptions.h"

#include "settings/SettingsSchema.h"

namespace kx {
namespace {

constexpr char kConfiguration[] = "Configuration";
constexpr char kCalibration[] = "Calibration";
constexpr char kFieldBus[] = "FieldBus / 4-20mA";
constexpr char kCustomOutput[] = "Custom Output";
constexpr char kTicket[] = "Format Ticket";

struct Row
{
    const char* control;
    const char* page;
    const char* group;
    const char* label;
};

// The editor's pages as they are laid out: page, group box title, row label.
constexpr Row kRows[] = {
    {"TimeEdit", kConfiguration, "Params", "Time"},
    {"DisplayRate", kConfiguration, "Params", "Display Rate"},
    {"ZeroRange", kConfiguration, "Params", "Zero Range"},
    {"SleepMode", kConfiguration, "Params", "Sleep Mode"},
    {"BackLight", kConfiguration, "Params", "Backlight"},
    {"TimeInSeconds", kConfiguration, "Params", "Time in Seconds"},
    {"OperatingMode", kConfiguration, "Params", "Operating Mode"},
    {"RadioLB", kConfiguration, "Units", "lb"},
    {"RadioKG", kConfiguration, "Units", "kg"},
    {"RadioGM", kConfiguration, "Units", "gm"},
    {"RadioOZ", kConfiguration, "Units", "oz"},
    {"RadioLBOZ", kConfiguration, "Units", "lb-oz"},
    {"RadioCustom", kConfiguration, "Units", "Custom"},
    {"CustomName", kConfiguration, "Custom Units Details", "Name"},
    {"CustomFactor", kConfiguration, "Custom Units Details", "Factor"},
    {"CustomResolution", kConfiguration, "Custom Units Details", "Resolution"},
    {"Interface1", kConfiguration, "Com1", "Interface"},
    {"PrintMode1", kConfiguration, "Com1", "Print Mode"},
    {"Com1Baud", kConfiguration, "Com1", "Baud"},
    {"Com1Parity", kConfiguration, "Com1", "Parity"},
    {"Com1StopBits", kConfiguration, "Com1", "Stop Bits"},
    {"Com1DataBits", kConfiguration, "Com1", "Data Bits"},
    {"Interface2", kConfiguration, "Com2", "Interface"},
    {"PrintMode2", kConfiguration, "Com2", "Print Mode"},
    {"Com2Baud", kConfiguration, "Com2", "Baud"},
    {"Com2Parity", kConfiguration, "Com2", "Parity"},
    {"Com2StopBits", kConfiguration, "Com2", "Stop Bits"},
    {"Com2DataBits", kConfiguration, "Com2", "Data Bits"},
    {"ScaleCapacity", kCalibration, "Calibration", "Scale Capacity"},
    {"PrimaryUnits", kCalibration, "Calibration", "Primary Units"},
    {"AZTracking", kCalibration, "Calibration", "Auto Zero Tracking"},
    {"MotionBand", kCalibration, "Calibration", "Motion Band"},
    {"DivisionSize", kCalibration, "Calibration", "Division Size"},
    {"Filter", kCalibration, "Calibration", "Digital Filter"},
    {"AutoTareMode", kCalibration, "Calibration", "Auto Tare"},
    {"NEBusID", kFieldBus, "FieldBus", "Node Address"},
    {"NEBusBaud", kFieldBus, "FieldBus", "Baud Rate"},
    {"NEBusType", kFieldBus, "FieldBus", "Data Type"},
    {"NEBusEndian", kFieldBus, "FieldBus", "Endian"},
    {"NEEthernet", kFieldBus, "Network", "Ethernet"},
    {"_4to20_Enabled", kFieldBus, "4-20mA", "Enable 4-20mA"},
    {"_4to20_Low", kFieldBus, "4-20mA", "Low Weight"},
    {"_4to20_High", kFieldBus, "4-20mA", "High Weight"},
    {"_4to20_Mode", kFieldBus, "4-20mA", "Mode"},
    {"Setpoint1", kFieldBus, "Setpoints", "Setpoint 1"},
    {"Setpoint2", kFieldBus, "Setpoints", "Setpoint 2"},
    {"Printer", kTicket, "Printer", "Printer"},
    {"LinesPerInch", kTicket, "Printer", "Lines/Inch"},
    {"CharWidth", kTicket, "Printer", "Char Width"},
    {"Inhibit", kTicket, "Printer", "Inhibit"},
    {"EditHeight", kTicket, "Ticket Size", "Height"},
    {"EditWidth", kTicket, "Ticket Size", "Width"},
    {"EditTop", kTicket, "Margins", "Top"},
    {"EditLeft", kTicket, "Margins", "Left"},
    {"EditBottom", kTicket, "Margins", "Bottom"},
    {"EditRight", kTicket, "Margins", "Right"},
};

bool same(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

} // namespace

SettingPlace controlPlace(const char* control)
{
    for (const Row& r : kRows)
        if (qstrcmp(r.control, control) == 0)
            return {QString::fromLatin1(r.page),
                    QStringLiteral("%1 / %2").arg(QLatin1String(r.group), QLatin1String(r.label))};
    return {};
}

SettingPlace settingPlace(const QString& sec, const QString& key)
{
    for (const SettingDesc& d : settingsTable())
        if (same(sec, d.section) && same(key, d.key))
            return controlPlace(d.control);
    if (same(sec, section::TicketFormat)) {
        // The ticket grid's rows are "Visible", "Top" and "Left"; its columns the fields.
        for (const TicketFieldDesc& f : ticketFields()) {
            for (const auto& [part, row] : {std::pair{"Visible", "Visible"}, std::pair{"Row", "Top"},
                                            std::pair{"Col", "Left"}})
                if (key.compare(QString::fromLatin1(ticketKey(f, part)), Qt::CaseInsensitive) == 0)
                    return {QString::fromLatin1(kTicket),
                            QStringLiteral("Ticket fields / %1 %2")
                                .arg(QLatin1String(f.header), QLatin1String(row))};
        }
    }
    if (same(sec, section::CustomOutput) || same(sec, section::CustomOutput2))
        return {QString::fromLatin1(kCustomOutput),
                QStringLiteral("%1 / %2")
                    .arg(same(sec, section::CustomOutput) ? QStringLiteral("COM1 output")
                                                          : QStringLiteral("COM2 output"),
                         key)};
    return {sec, key};
}

} // namespace kx
