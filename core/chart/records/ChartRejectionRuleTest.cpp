#include <gtest/gtest.h>

#include <set>

#include "core/chart/records/ChartCandidateDecision.h"
#include "core/chart/records/ChartRecordTestSamples.h"
#include "core/chart/records/ChartRejectionRule.h"

namespace halvex {
namespace {

using testing::expectStrictDecoding;
using testing::keysOf;
using testing::throughWire;

struct RuleRow {
    ChartRejectionRule rule;
    const char* rawValue;
    const char* explanation;
};

// Written out independently of the implementation's table so a typo in either shows.
const RuleRow expectedRules[] = {
    {ChartRejectionRule::lowConfidence, "low-confidence", "Vision reported too little confidence in the recognised text."},
    {ChartRejectionRule::emptyText, "empty-text", "The recognised text was empty."},
    {ChartRejectionRule::outsideChartBand, "outside-chart-band", "The text sits in the window chrome rather than on the chart."},
    {ChartRejectionRule::pixelAnalysisUnavailable, "pixel-analysis-unavailable", "The frame could not be analysed for the filled position badge, so text alone cannot confirm a position."},
    {ChartRejectionRule::stopOrder, "stop-order", "Reads as a stop order (Buy Stop / Sell Stop / stop loss), not an open position."},
    {ChartRejectionRule::limitOrder, "limit-order", "Reads as a limit order (Buy Limit / Sell Limit), not an open position."},
    {ChartRejectionRule::targetOrder, "target-order", "Reads as a target / take-profit order, not an open position."},
    {ChartRejectionRule::orderToast, "order-toast", "Reads as an order notification rather than a position label."},
    {ChartRejectionRule::positionDrawingTool, "position-drawing-tool", "Reads as a Long Position / Short Position drawing tool."},
    {ChartRejectionRule::drawingToolStatistics, "drawing-tool-statistics", "Carries drawing-tool statistics (Target, Stop, Amount, Qty, Open P&L, Risk/Reward)."},
    {ChartRejectionRule::quoteButton, "quote-button", "Reads as a Buy/Sell quote button rather than a position label."},
    {ChartRejectionRule::unfilledOrderBadge, "unfilled-order-badge", "The badge next to the label is an unfilled/orange order marker, not a filled position badge."},
    {ChartRejectionRule::ambiguousBadge, "ambiguous-colored-badge", "The coloured chip next to the label could not be identified as a long or short position badge."},
    {ChartRejectionRule::noFilledPositionBadge, "no-filled-position-badge", "No filled TradingView position badge was found next to the label."},
    {ChartRejectionRule::noPositionLine, "no-position-line", "No horizontal position line was found running from the badge across the chart."},
    {ChartRejectionRule::missingPnLUnit, "missing-pnl-unit", "The P&L carried no currency, tick/pip/point or percent unit."},
    {ChartRejectionRule::quantityUnreadable, "quantity-unreadable", "The position quantity could not be read; Halvex will not invent one."},
    {ChartRejectionRule::priceLikeQuantity, "price-like-quantity", "The leading number looks like a price, not a position size."},
    {ChartRejectionRule::quantityContradictsBadge, "quantity-contradicts-badge", "The printed sign of the quantity contradicts the badge colour."},
    {ChartRejectionRule::zeroQuantity, "zero-quantity", "The quantity resolved to zero."},
    {ChartRejectionRule::changeColumnPair, "change-column-pair", "The leading number carries a '+' sign, so it is a price-change column rather than a position size."},
    {ChartRejectionRule::secondPositionNotTracked, "second-position-not-tracked", "A position is open in another chart pane too; Halvex tracks one at a time and this is not the tracked one."},
    {ChartRejectionRule::wcNoOutlinedBox, "wc-no-outlined-box", "No WealthCharts outlined order box was found around the label."},
    {ChartRejectionRule::wcNoDashedLine, "wc-no-dashed-line", "The outlined box has no dashed order line running from it across the chart."},
    {ChartRejectionRule::wcBracketRow, "wc-bracket-row", "Reads as a WealthCharts bracket order (Buy/Sell Limit or Stop), not the open position."},
    {ChartRejectionRule::wcIndicatorLabel, "wc-indicator-label", "Reads as an indicator or level label (a name beside a price), not a position."},
    {ChartRejectionRule::wcAxisTag, "wc-axis-tag", "A bare price in the price-axis column."},
    {ChartRejectionRule::wcWatermark, "wc-watermark", "The WealthCharts watermark or window title."},
    {ChartRejectionRule::wcOrderPanelControl, "wc-order-panel-control", "An on-chart order-panel control (Buy Mkt, Sell Mkt, Flatten, quantity stepper)."},
    {ChartRejectionRule::wcMissingUnit, "wc-missing-unit", "The number carries no pt/points/$/USD unit, so it is not a live P&L."},
    {ChartRejectionRule::wcUnsignedPnL, "wc-unsigned-pnl", "An unsigned nonzero amount is a price, not a P&L; only 0.00 may be printed without a sign."},
    {ChartRejectionRule::wcAmbiguous, "wc-ambiguous", "The outlined box is neither the blue position colour nor a single recognised colour."},
    {ChartRejectionRule::wcSideConflict, "wc-side-conflict", "The bracket rows' Buy/Sell verbs and their positions above or below the entry disagree about the side; Halvex will not guess."},
    {ChartRejectionRule::wcExtraBracket, "wc-extra-bracket", "A further bracket of the same kind; the one nearest the entry is reported."},
    {ChartRejectionRule::wcBracketQuantityMismatch, "wc-bracket-qty-mismatch", "The bracket's quantity differs from the position's."},
};

TEST(ChartRejectionRule, EveryCaseInOrderWithItsRawValueAndExplanation) {
    const auto& all = allChartRejectionRules();
    ASSERT_EQ(all.size(), std::size(expectedRules));
    std::set<std::string> rawValues;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto& row = expectedRules[i];
        EXPECT_EQ(all[i], row.rule) << i;
        EXPECT_EQ(rawValue(row.rule), row.rawValue) << i;
        EXPECT_EQ(explanation(row.rule), row.explanation) << row.rawValue;
        EXPECT_EQ(parseChartRejectionRule(row.rawValue), row.rule) << row.rawValue;
        rawValues.insert(row.rawValue);
    }
    EXPECT_EQ(rawValues.size(), all.size());
}

TEST(ChartRejectionRule, OnlyExactRawValuesParse) {
    for (const char* text : {"wc-bracket-quantity-mismatch", "ambiguousBadge", "ambiguous-badge", "Low-Confidence",
                             "low-confidence ", ""}) {
        EXPECT_EQ(parseChartRejectionRule(text), std::nullopt) << text;
    }
}

TEST(ChartCandidateDecision, LogLines) {
    struct Case {
        ChartCandidateDecision decision;
        std::string line;
    };
    const Case cases[] = {
        {ChartCandidateDecision::selected("2 +125.50 USD", "active-long", ChartPane{0, 2, 0.0, 0.5}),
         "selected [active-long] {pane 1/2}: 2 +125.50 USD"},
        {ChartCandidateDecision{"1 +3.00 USD", false, {}, {}, {}, {}}, "rejected(unknown): 1 +3.00 USD"},
        {ChartCandidateDecision::rejected("0.4 x", ChartRejectionRule::lowConfidence, "0.31", "active-short", {}),
         "rejected(low-confidence) [active-short]: 0.4 x"},
        {ChartCandidateDecision::rejected("Buy Stop 1", ChartRejectionRule::stopOrder, {}, {}, ChartPane{2, 3, 0.66, 1}),
         "rejected(stop-order) {pane 3/3}: Buy Stop 1"},
        {ChartCandidateDecision::selected("", {}, {}), "selected: "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.decision.logLine(), c.line);
}

TEST(ChartCandidateDecision, ARejectionWithoutDetailKeepsTheExplanation) {
    const auto plain = ChartCandidateDecision::rejected("x", ChartRejectionRule::wcAxisTag, {}, {}, {});
    EXPECT_EQ(plain.rejectionReason, "wc-axis-tag");
    EXPECT_EQ(plain.detail, "A bare price in the price-axis column.");
    const auto measured = ChartCandidateDecision::rejected("x", ChartRejectionRule::lowConfidence, "0.12", {}, {});
    EXPECT_EQ(measured.detail, "0.12");
}

TEST(ChartCandidateDecisionJSON, OptionalsOmittedRoundTripAndStrictDecoding) {
    const ChartCandidateDecision bare{"1 +3.00 USD", false, {}, {}, {}, {}};
    const auto bareJSON = throughWire(toJSON(bare));
    EXPECT_EQ(keysOf(bareJSON), (std::set<std::string>{"text", "accepted"}));
    EXPECT_EQ(chartCandidateDecisionFromJSON(bareJSON), bare);

    const auto full = ChartCandidateDecision::rejected("x", ChartRejectionRule::noPositionLine, "coverage 0.12",
                                                       "active-long", ChartPane{1, 2, 0.5, 1.0});
    const auto json = throughWire(toJSON(full));
    EXPECT_EQ(keysOf(json),
              (std::set<std::string>{"text", "accepted", "rejectionReason", "detail", "visualRole", "pane"}));
    EXPECT_EQ(chartCandidateDecisionFromJSON(json), full);
    expectStrictDecoding(json, chartCandidateDecisionFromJSON, {"text", "accepted"});
}

}  // namespace
}  // namespace halvex
