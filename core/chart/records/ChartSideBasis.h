#pragma once

#include <array>
#include <optional>
#include <string>

namespace halvex {

// How the side (long or short) of a reading was decided.
enum class ChartSideBasis { badgeColour, bracketVerb, lastPrice, unknown };

inline constexpr std::array<ChartSideBasis, 4> allChartSideBases{
    ChartSideBasis::badgeColour, ChartSideBasis::bracketVerb, ChartSideBasis::lastPrice, ChartSideBasis::unknown};

const std::string& rawValue(ChartSideBasis basis);
std::optional<ChartSideBasis> parseChartSideBasis(const std::string& text);

}  // namespace halvex
