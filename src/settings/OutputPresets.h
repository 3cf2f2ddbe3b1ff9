#pragma once

#include "settings/OutputDefinition.h"

#include <span>

namespace kx {

// The makers' preset custom output layouts offered on the builder's Load page, as data: a
// preset is a set of key values laid over a definition. Keys a preset leaves alone keep the
// definition's values.
namespace preset {
inline constexpr int Toledo = 4567; // also the "Morvell" button, and a new record's layout
inline constexpr int Morvell = Toledo;
inline constexpr int Cardinal = 4568;
inline constexpr int Weightronix = 4569;
inline constexpr int Vantel = 4570;
inline constexpr int Plc = 4571;
inline constexpr int ShipPoint = 4572; // common part only; its button is never shown
} // namespace preset

struct PresetButton
{
    const char* caption;
    int tag;
    bool shown;
};

// The Load page's radio buttons, top to bottom.
std::span<const PresetButton> presetButtons();

// "Fixed Decimal Places" as the primary units (index 1 kg, 2 oz, 3 g, else lb) and the chosen
// division (its index in that unit's list, -1 for none) call for.
QByteArray fixedDecimalPlaces(int primaryUnits, int divisionIndex);

// The definition with the preset applied: its common part, then the tag's own values.
// primaryUnits and divisionIndex are the editor's current calibration choices.
OutputDefinition applyPreset(const OutputDefinition& base, int tag, int primaryUnits,
                             int divisionIndex);

// A definition as a freshly filled builder stores it before any preset: every key in save
// order, each list at its first item, texts empty, codes 0.
OutputDefinition blankDefinition();

} // namespace kx
