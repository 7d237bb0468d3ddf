#include "core/chart/watcher/ChartPositionTransition.h"

namespace halvex {

namespace {
const std::array<std::string, 5>& kindRawValues() {
    static const std::array<std::string, 5> values{"entry", "add", "partialExit", "reversal", "close"};
    return values;
}
}  // namespace

const std::string& rawValue(ChartPositionTransitionKind kind) {
    return kindRawValues()[static_cast<std::size_t>(kind)];
}

std::optional<ChartPositionTransitionKind> parseChartPositionTransitionKind(const std::string& text) {
    for (const auto kind : allChartPositionTransitionKinds) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

}  // namespace halvex
