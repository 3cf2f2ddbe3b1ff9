#pragma once

#include "cli/gateway/GatewayConfig.h"
#include "link/ReplyFrame.h"

#include <QList>
#include <array>
#include <cstdint>
#include <optional>

namespace kx::cli {

// What one unit's registers say. The same block answers input registers (function 4) and
// holding registers (function 3), from address 0.
namespace reg {
inline constexpr int WeightFloat = 0;  // 2 registers
inline constexpr int WeightScaled = 2; // 2 registers, the weight times 10^Decimals
inline constexpr int Decimals = 4;
inline constexpr int Status = 5;
inline constexpr int Units = 6;
inline constexpr int FrameCounter = 7;
inline constexpr int Age = 8;       // 100 ms steps since the last frame
inline constexpr int LastWrite = 9; // how the last write of a client ended
inline constexpr int Tare = 10;     // 2 registers, scaled like the weight; written to tare
inline constexpr int Count = 12;
} // namespace reg

// Bits of the status word.
namespace status {
inline constexpr std::uint16_t DataValid = 1u << 0;
inline constexpr std::uint16_t InMotion = 1u << 1;
inline constexpr std::uint16_t Net = 1u << 2;
inline constexpr std::uint16_t Settled = 1u << 3;
inline constexpr std::uint16_t OverRange = 1u << 4; // "?" or the face's overload: no number
inline constexpr std::uint16_t PortError = 1u << 5;
inline constexpr std::uint16_t NoAnswer = 1u << 6;
} // namespace status

// The Units register.
enum class UnitsCode : std::uint16_t
{
    None = 0,
    Grams = 1,
    Pounds = 2,
    Kilograms = 3,
    Ounces = 4
};

// The LastWrite register.
enum class WriteOutcome : std::uint16_t
{
    None = 0,
    Queued = 1,  // taken, goes out with the next frame
    Refused = 2, // the face or the line did not take it
};

// What is known of one indicator at the moment of a read.
struct UnitState
{
    std::optional<DecodedFrame> frame; // the last frame shown, if any
    bool online = false;               // frames arrive within the poll cycle's give-up time
    bool portError = false;
    bool noAnswer = false;
    std::uint16_t frames = 0;       // every new frame counts, wrapping at 65536
    std::int64_t ageMs = -1;        // since the last frame; -1 without one
    WriteOutcome lastWrite = WriteOutcome::None;
    std::optional<std::int32_t> tare; // the last tare written, scaled like the weight
};

// A 32-bit value as two registers in the given order.
std::array<std::uint16_t, 2> splitWords(std::uint32_t value, WordOrder order);
// The opposite: two registers read in the given order back to the value.
std::uint32_t joinWords(std::uint16_t first, std::uint16_t second, WordOrder order);

// The scaled integer that says "no value": the float reads NaN meanwhile.
inline constexpr std::uint32_t NoScaledValue = 0x80000000u;

std::uint16_t statusWord(const UnitState& unit);
// The number the face shows, when the data is valid and the face shows one.
std::optional<double> validWeight(const UnitState& unit);
// Every register of a unit.
std::array<std::uint16_t, reg::Count> unitRegisters(const UnitState& unit, WordOrder order);

// The tare a client wrote to the Tare pair as digits with the weight's decimals ("2.50"), or
// nothing with why when no face types it (negative).
std::optional<QString> tareText(std::int32_t scaled, int decimals, QString* why);

} // namespace kx::cli
