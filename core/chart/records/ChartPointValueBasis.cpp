#include "core/chart/records/ChartPointValueBasis.h"

namespace halvex {

namespace {
// Function-local so records built during static initialisation still find the texts.
const std::array<std::string, 2>& pointValueBasisRawValues() {
    static const std::array<std::string, 2> values{"brackets", "instrument-table"};
    return values;
}
}  // namespace

const std::string& rawValue(ChartPointValueBasis basis) {
    return pointValueBasisRawValues()[static_cast<std::size_t>(basis)];
}

std::optional<ChartPointValueBasis> parseChartPointValueBasis(const std::string& text) {
    for (const auto basis : allChartPointValueBases) {
        if (rawValue(basis) == text) return basis;
    }
    return std::nullopt;
}

}  // namespace halvex
