#include "core/chart/records/ChartSideBasis.h"

namespace halvex {

namespace {
// Function-local so records built during static initialisation still find the texts.
const std::array<std::string, 4>& sideBasisRawValues() {
    static const std::array<std::string, 4> values{"badge-colour", "bracket-verb", "last-price", "unknown"};
    return values;
}
}  // namespace

const std::string& rawValue(ChartSideBasis basis) { return sideBasisRawValues()[static_cast<std::size_t>(basis)]; }

std::optional<ChartSideBasis> parseChartSideBasis(const std::string& text) {
    for (const auto basis : allChartSideBases) {
        if (rawValue(basis) == text) return basis;
    }
    return std::nullopt;
}

}  // namespace halvex
