#include "cli/gateway/RegisterMap.h"

#include "trend/WeightRecord.h"

#include <bit>
#include <cmath>
#include <limits>

namespace kx::cli {

std::array<std::uint16_t, 2> splitWords(std::uint32_t v, WordOrder order)
{
    const std::uint16_t hi = std::uint16_t(v >> 16);
    const std::uint16_t lo = std::uint16_t(v & 0xFFFF);
    const auto swap = [](std::uint16_t w) { return std::uint16_t((w << 8) | (w >> 8)); };
    switch (order) {
    case WordOrder::ABCD:
        return {hi, lo};
    case WordOrder::CDAB:
        return {lo, hi};
    case WordOrder::BADC:
        return {swap(hi), swap(lo)};
    case WordOrder::DCBA:
        return {swap(lo), swap(hi)};
    }
    return {hi, lo};
}

std::uint32_t joinWords(std::uint16_t first, std::uint16_t second, WordOrder order)
{
    const auto swap = [](std::uint16_t w) { return std::uint16_t((w << 8) | (w >> 8)); };
    std::uint16_t hi = first, lo = second;
    switch (order) {
    case WordOrder::ABCD:
        break;
    case WordOrder::CDAB:
        hi = second, lo = first;
        break;
    case WordOrder::BADC:
        hi = swap(first), lo = swap(second);
        break;
    case WordOrder::DCBA:
        hi = swap(second), lo = swap(first);
        break;
    }
    return (std::uint32_t(hi) << 16) | lo;
}

std::optional<double> validWeight(const UnitState& unit)
{
    if (!unit.online || !unit.frame)
        return std::nullopt;
    return shownNumber(unit.frame->weight);
}

std::uint16_t statusWord(const UnitState& unit)
{
    std::uint16_t s = 0;
    if (unit.portError)
        s |= status::PortError;
    if (unit.noAnswer)
        s |= status::NoAnswer;
    if (!unit.online || !unit.frame)
        return s;
    s |= status::DataValid;
    s |= unit.frame->keepWeight ? status::Settled : status::InMotion;
    if (unit.frame->net)
        s |= status::Net;
    if (!shownNumber(unit.frame->weight))
        s |= status::OverRange;
    return s;
}

std::array<std::uint16_t, reg::Count> unitRegisters(const UnitState& unit, WordOrder order)
{
    std::array<std::uint16_t, reg::Count> r{};
    const auto put = [&r, order](int at, std::uint32_t v) {
        const auto w = splitWords(v, order);
        r[at] = w[0];
        r[at + 1] = w[1];
    };
    const int decimals = unit.frame ? unit.frame->decimals : 0;
    const auto weight = validWeight(unit);
    put(reg::WeightFloat, std::bit_cast<std::uint32_t>(weight ? float(*weight)
                                                              : std::numeric_limits<float>::quiet_NaN()));
    std::uint32_t scaled = NoScaledValue;
    if (weight) {
        const double v = std::round(*weight * std::pow(10.0, decimals));
        // The face shows at most seven characters: never near the range, but a value that
        // would not fit must not wrap into another.
        if (v > -2147483647.0 && v < 2147483647.0)
            scaled = std::uint32_t(std::int32_t(v));
    }
    put(reg::WeightScaled, scaled);
    r[reg::Decimals] = std::uint16_t(decimals);
    r[reg::Status] = statusWord(unit);
    if (unit.frame)
        r[reg::Units] = std::uint16_t(unit.frame->units); // FrameUnits counts as UnitsCode does
    r[reg::FrameCounter] = unit.frames;
    r[reg::Age] = unit.ageMs < 0 ? 0xFFFF : std::uint16_t(std::min<std::int64_t>(unit.ageMs / 100, 0xFFFF));
    r[reg::LastWrite] = std::uint16_t(unit.lastWrite);
    put(reg::Tare, unit.tare ? std::uint32_t(*unit.tare) : 0);
    return r;
}

std::optional<QString> tareText(std::int32_t scaled, int decimals, QString* why)
{
    if (scaled < 0) {
        *why = QStringLiteral("a tare is not negative");
        return std::nullopt;
    }
    QString digits = QString::number(scaled);
    if (decimals > 0) {
        digits = digits.rightJustified(decimals + 1, QLatin1Char('0'));
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    }
    return digits;
}

} // namespace kx::cli
