#include "core/chart/records/ChartRejectionRule.h"

namespace halvex {

namespace {

struct RuleTexts {
    ChartRejectionRule rule;
    std::string rawValue;
    std::string explanation;
};

// One row per rule, in declaration order; rawValue() and explanation() index it by the case.
const std::array<RuleTexts, chartRejectionRuleCount>& ruleTable() {
    using R = ChartRejectionRule;
    static const std::array<RuleTexts, chartRejectionRuleCount> table{{
        {R::lowConfidence, "low-confidence", "Vision reported too little confidence in the recognised text."},
        {R::emptyText, "empty-text", "The recognised text was empty."},
        {R::outsideChartBand, "outside-chart-band", "The text sits in the window chrome rather than on the chart."},
        {R::pixelAnalysisUnavailable, "pixel-analysis-unavailable",
         "The frame could not be analysed for the filled position badge, so text alone cannot confirm a position."},
        {R::stopOrder, "stop-order",
         "Reads as a stop order (Buy Stop / Sell Stop / stop loss), not an open position."},
        {R::limitOrder, "limit-order", "Reads as a limit order (Buy Limit / Sell Limit), not an open position."},
        {R::targetOrder, "target-order", "Reads as a target / take-profit order, not an open position."},
        {R::orderToast, "order-toast", "Reads as an order notification rather than a position label."},
        {R::positionDrawingTool, "position-drawing-tool", "Reads as a Long Position / Short Position drawing tool."},
        {R::drawingToolStatistics, "drawing-tool-statistics",
         "Carries drawing-tool statistics (Target, Stop, Amount, Qty, Open P&L, Risk/Reward)."},
        {R::quoteButton, "quote-button", "Reads as a Buy/Sell quote button rather than a position label."},
        {R::unfilledOrderBadge, "unfilled-order-badge",
         "The badge next to the label is an unfilled/orange order marker, not a filled position badge."},
        {R::ambiguousBadge, "ambiguous-colored-badge",
         "The coloured chip next to the label could not be identified as a long or short position badge."},
        {R::noFilledPositionBadge, "no-filled-position-badge",
         "No filled TradingView position badge was found next to the label."},
        {R::noPositionLine, "no-position-line",
         "No horizontal position line was found running from the badge across the chart."},
        {R::missingPnLUnit, "missing-pnl-unit", "The P&L carried no currency, tick/pip/point or percent unit."},
        {R::quantityUnreadable, "quantity-unreadable",
         "The position quantity could not be read; Halvex will not invent one."},
        {R::priceLikeQuantity, "price-like-quantity", "The leading number looks like a price, not a position size."},
        {R::quantityContradictsBadge, "quantity-contradicts-badge",
         "The printed sign of the quantity contradicts the badge colour."},
        {R::zeroQuantity, "zero-quantity", "The quantity resolved to zero."},
        {R::changeColumnPair, "change-column-pair",
         "The leading number carries a '+' sign, so it is a price-change column rather than a position size."},
        {R::secondPositionNotTracked, "second-position-not-tracked",
         "A position is open in another chart pane too; Halvex tracks one at a time and this is not the tracked "
         "one."},
        {R::wcNoOutlinedBox, "wc-no-outlined-box", "No WealthCharts outlined order box was found around the label."},
        {R::wcNoDashedLine, "wc-no-dashed-line",
         "The outlined box has no dashed order line running from it across the chart."},
        {R::wcBracketRow, "wc-bracket-row",
         "Reads as a WealthCharts bracket order (Buy/Sell Limit or Stop), not the open position."},
        {R::wcIndicatorLabel, "wc-indicator-label",
         "Reads as an indicator or level label (a name beside a price), not a position."},
        {R::wcAxisTag, "wc-axis-tag", "A bare price in the price-axis column."},
        {R::wcWatermark, "wc-watermark", "The WealthCharts watermark or window title."},
        {R::wcOrderPanelControl, "wc-order-panel-control",
         "An on-chart order-panel control (Buy Mkt, Sell Mkt, Flatten, quantity stepper)."},
        {R::wcMissingUnit, "wc-missing-unit",
         "The number carries no pt/points/$/USD unit, so it is not a live P&L."},
        {R::wcUnsignedPnL, "wc-unsigned-pnl",
         "An unsigned nonzero amount is a price, not a P&L; only 0.00 may be printed without a sign."},
        {R::wcAmbiguous, "wc-ambiguous",
         "The outlined box is neither the blue position colour nor a single recognised colour."},
        {R::wcSideConflict, "wc-side-conflict",
         "The bracket rows' Buy/Sell verbs and their positions above or below the entry disagree about the side; "
         "Halvex will not guess."},
        {R::wcExtraBracket, "wc-extra-bracket",
         "A further bracket of the same kind; the one nearest the entry is reported."},
        {R::wcBracketQuantityMismatch, "wc-bracket-qty-mismatch",
         "The bracket's quantity differs from the position's."},
    }};
    return table;
}

}  // namespace

const std::array<ChartRejectionRule, chartRejectionRuleCount>& allChartRejectionRules() {
    static const std::array<ChartRejectionRule, chartRejectionRuleCount> rules = [] {
        std::array<ChartRejectionRule, chartRejectionRuleCount> result{};
        for (std::size_t i = 0; i < chartRejectionRuleCount; ++i) result[i] = ruleTable()[i].rule;
        return result;
    }();
    return rules;
}

const std::string& rawValue(ChartRejectionRule rule) { return ruleTable()[static_cast<std::size_t>(rule)].rawValue; }

std::optional<ChartRejectionRule> parseChartRejectionRule(const std::string& text) {
    for (const auto& row : ruleTable()) {
        if (row.rawValue == text) return row.rule;
    }
    return std::nullopt;
}

const std::string& explanation(ChartRejectionRule rule) {
    return ruleTable()[static_cast<std::size_t>(rule)].explanation;
}

}  // namespace halvex
