#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/chart/records/ChartRejectionRule.h"
#include "core/chart/tradingview/TextPattern.h"

namespace halvex::TradingViewChartDetector {

// One entry of the text rule table: texts the pattern finds anywhere are rejected by `rule`.
struct TextRule {
    ChartRejectionRule rule;
    std::shared_ptr<const TextPattern> expression;  // compiled once, shared read-only
};

// The rules in the order they are tried: drawing tools, order toasts, stop, limit and target
// orders, quote buttons. A rule whose pattern did not compile is left out.
const std::vector<TextRule>& textRules();

// The rule an order widget or drawing-tool text falls under, tried on the normalised upper-cased
// text; `emptyText` when nothing is left of it; absent for any other text.
std::optional<ChartRejectionRule> textRejection(const std::string& text);

}  // namespace halvex::TradingViewChartDetector
