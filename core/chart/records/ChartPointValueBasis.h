#pragma once

#include <array>
#include <optional>
#include <string>

namespace halvex {

// Where the currency value of one price point came from.
enum class ChartPointValueBasis { brackets, instrumentTable };

inline constexpr std::array<ChartPointValueBasis, 2> allChartPointValueBases{ChartPointValueBasis::brackets,
                                                                            ChartPointValueBasis::instrumentTable};

const std::string& rawValue(ChartPointValueBasis basis);
std::optional<ChartPointValueBasis> parseChartPointValueBasis(const std::string& text);

}  // namespace halvex
