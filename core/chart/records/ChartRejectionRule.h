#pragma once

#include <array>
#include <optional>
#include <string>

namespace halvex {

// Why a chart reader did not take a text as the position label. Cases up to
// `secondPositionNotTracked` come from the TradingView reader, the `wc…` cases from the
// WealthCharts reader.
enum class ChartRejectionRule {
    lowConfidence,
    emptyText,
    outsideChartBand,
    pixelAnalysisUnavailable,
    stopOrder,
    limitOrder,
    targetOrder,
    orderToast,
    positionDrawingTool,
    drawingToolStatistics,
    quoteButton,
    unfilledOrderBadge,
    ambiguousBadge,
    noFilledPositionBadge,
    noPositionLine,
    missingPnLUnit,
    quantityUnreadable,
    priceLikeQuantity,
    quantityContradictsBadge,
    zeroQuantity,
    changeColumnPair,
    secondPositionNotTracked,
    wcNoOutlinedBox,
    wcNoDashedLine,
    wcBracketRow,
    wcIndicatorLabel,
    wcAxisTag,
    wcWatermark,
    wcOrderPanelControl,
    wcMissingUnit,
    wcUnsignedPnL,
    wcAmbiguous,
    wcSideConflict,
    wcExtraBracket,
    wcBracketQuantityMismatch,
};

inline constexpr std::size_t chartRejectionRuleCount = 35;

// Every rule, in declaration order.
const std::array<ChartRejectionRule, chartRejectionRuleCount>& allChartRejectionRules();

// The machine-readable value used in JSON, logs and candidates' `rejectionReason`.
const std::string& rawValue(ChartRejectionRule rule);
std::optional<ChartRejectionRule> parseChartRejectionRule(const std::string& text);
// The fixed human-readable explanation.
const std::string& explanation(ChartRejectionRule rule);

}  // namespace halvex
