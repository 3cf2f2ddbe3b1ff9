#include "settings/OutputPresets.h"

#include "settings/SettingsSchema.h"

namespace kx {
namespace {

constexpr int Common = -1; // the common part's value stands
constexpr int Keep = -2;   // the definition's earlier value stands

// How a preset sets the decimal point; the Cardinal one follows the fixed decimal places.
enum class DecimalRule
{
    None,
    Floating,
    Fixed,
    TrailingWhenWhole
};

struct PresetValues
{
    int tag;
    const char* streamFormat; // nullptr: left as it was
    const char* primaryUnits;
    const char* secondaryUnits;
    const char* motion;
    const char* capacity;
    const char* gross;
    const char* tare;
    const char* net;
    const char* invalid;     // nullptr: common
    int pollToken, pollCode; // Common: common
    int startToken, startCode;
    int stopToken, stopCode;
    int leadingZeroes;   // Keep or an item index
    int includePolarity; // Common or 0/1
    DecimalRule decimalPoint;
    const char* fixedDecimals; // nullptr: common
    const char* weightDigits;  // nullptr: common
    int positiveToken;         // Common or an item index
    int checksum, delimited;   // Keep or an item index
};

// Item indexes of the wrapper lists: poll NONE 0, CR 4, ENQ 3; start NONE 0, STX 2, CR 4;
// stop ETX 1, EOT 2, CR 3, CRLF 4. A CRLF stop keeps code 0, as the presets always did.
// clang-format off
const PresetValues kPresets[] = {
    // tag, stream format,
    //   primary, secondary, motion, capacity, gross, tare, net, invalid,
    //   poll, start, stop (item, code), leading zeroes, polarity, decimal point,
    //   fixed decimals, weight digits, positive token, checksum, delimited
    {preset::Toledo, "<A><B><C><G><T>",
     "lb", "kg", "M", "O", "GR", "TA", "NT", "I",
     Common, 0, 2, 2, 3, 13, 0, 0, DecimalRule::None,
     "0", nullptr, Common, Keep, Keep},
    {preset::Cardinal, "<W><S>[ ]<U>[ ]<M>[  ]",
     "lb", "kg", "m", "o", "g", "t", "n", nullptr,
     3, 5, 4, 13, 1, 3, 1, Common, DecimalRule::TrailingWhenWhole,
     nullptr, nullptr, Common, Keep, Keep},
    {preset::Weightronix, "[ ]<M><W>[ ]<U>",
     "lb", "kg", "m", "o", "G", "T", "N", nullptr,
     Common, 0, 0, 0, 4, 0, 1, Common, DecimalRule::Fixed,
     nullptr, nullptr, Common, Keep, Keep},
    {preset::Vantel, "<W><U><M><S>",
     "L", "K", "M", "O", "G", "T", "N", nullptr,
     Common, 0, 2, 2, 4, 0, 0, Common, DecimalRule::Fixed,
     nullptr, "7", 2, Keep, Keep},
    {preset::Plc, "<W>",
     "L", "K", "M", "O", "G", "T", "N", nullptr,
     0, 0, 0, 0, 2, 4, 0, 0, DecimalRule::Floating,
     "0", "7", 1, 0, 0},
};
// clang-format on

const PresetButton kButtons[] = {
    {"     Morvell", preset::Morvell, true},      {"     Toledo", preset::Toledo, true},
    {"     Cardinal", preset::Cardinal, true},    {"     Weightronix", preset::Weightronix, true},
    {"     Vantel", preset::Vantel, true},        {"     PLC", preset::Plc, true},
    {"     ShipPoint", preset::ShipPoint, false},
};

QByteArray num(int v)
{
    return QByteArray::number(v);
}

} // namespace

std::span<const PresetButton> presetButtons()
{
    return kButtons;
}

QByteArray fixedDecimalPlaces(int primaryUnits, int divisionIndex)
{
    const int i = divisionIndex;
    int places = 0;
    switch (primaryUnits) {
    case 1: // kg
        places = i <= 0 ? 5 : i <= 3 ? 4 : i <= 6 ? 3 : i <= 10 ? 2 : i <= 13 ? 1 : 0;
        break;
    case 2: // oz
        places = i <= 1 ? 3 : i <= 4 ? 2 : i <= 7 ? 1 : 0;
        break;
    case 3: // g: no division chosen falls with 0.1 to 0.5
        places = i == 0 ? 2 : i <= 3 ? 1 : 0;
        break;
    default: // lb
        places = i <= 2 ? 4 : i <= 5 ? 3 : i <= 8 ? 2 : i <= 12 ? 1 : 0;
        break;
    }
    return num(places);
}

OutputDefinition applyPreset(const OutputDefinition& base, int tag, int primaryUnits,
                             int divisionIndex)
{
    OutputDefinition d = base;
    const QByteArray fixed = fixedDecimalPlaces(primaryUnits, divisionIndex);

    // The common part.
    d.setValue("Weight Digits", "6");
    d.setValue("Justify", "1");
    d.setValue("Include Polarity", "1");
    d.setValue("Positive Polarity Token", "0");
    d.setValue("Negative Polarity Token", "0");
    d.setValue("Gross Token", "");
    d.setValue("Tare Token", "");
    d.setValue("Net Token", "");
    d.setValue("Motion Token", " ");
    d.setValue("Out of Range Token", " ");
    d.setValue("OK Token", " ");
    d.setValue("Invalid Token", " ");
    d.setValue("Fixed Decimal Places", fixed);
    d.setValue("Poll Token", "4");
    d.setValue("Poll Char Token", "13");
    d.setValue("Start Char Token", "32");
    d.setValue("Stop Char Token", "32");
    d.setValue("Block Token", "0");
    d.setValue("Block Char Token", "0");
    d.setValue("Poll String", "W<D>");

    const PresetValues* p = nullptr;
    for (const PresetValues& v : kPresets)
        if (v.tag == tag)
            p = &v;
    if (!p)
        return d;

    d.setValue("Stream Format", p->streamFormat);
    d.setValue("Primary Units Token", p->primaryUnits);
    d.setValue("Secondary Units Token", p->secondaryUnits);
    d.setValue("Motion Token", p->motion);
    d.setValue("Out of Range Token", p->capacity);
    d.setValue("Gross Token", p->gross);
    d.setValue("Tare Token", p->tare);
    d.setValue("Net Token", p->net);
    if (p->invalid)
        d.setValue("Invalid Token", p->invalid);
    if (p->pollToken != Common) {
        d.setValue("Poll Token", num(p->pollToken));
        d.setValue("Poll Char Token", num(p->pollCode));
    }
    d.setValue("Start Token", num(p->startToken));
    d.setValue("Start Char Token", num(p->startCode));
    d.setValue("Stop Token", num(p->stopToken));
    d.setValue("Stop Char Token", num(p->stopCode));
    if (p->leadingZeroes != Keep)
        d.setValue("Leading Zeroes", num(p->leadingZeroes));
    if (p->includePolarity != Common)
        d.setValue("Include Polarity", num(p->includePolarity));
    if (p->fixedDecimals)
        d.setValue("Fixed Decimal Places", p->fixedDecimals);
    switch (p->decimalPoint) {
    case DecimalRule::None:
        d.setValue("Decimal Point", "0");
        break;
    case DecimalRule::Floating:
        d.setValue("Decimal Point", "1");
        break;
    case DecimalRule::Fixed:
        d.setValue("Decimal Point", "2");
        break;
    case DecimalRule::TrailingWhenWhole:
        d.setValue("Decimal Point", d.value("Fixed Decimal Places") == "0" ? "3" : "2");
        break;
    }
    if (p->weightDigits)
        d.setValue("Weight Digits", p->weightDigits);
    if (p->positiveToken != Common)
        d.setValue("Positive Polarity Token", num(p->positiveToken));
    if (p->checksum != Keep)
        d.setValue("Checksum", num(p->checksum));
    if (p->delimited != Keep)
        d.setValue("Delimited", num(p->delimited));
    return d;
}

OutputDefinition blankDefinition()
{
    OutputDefinition d;
    for (const OutputKeyDesc& k : outputKeys())
        d.append(k.key, k.kind == OutputKeyKind::Text ? QByteArray() : QByteArray("0"));
    return d;
}

} // namespace kx
