#include "core/chart/tradingview/TradingViewChartDetector.h"

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/chart/tradingview/OCRCandidateTestSamples.h"

namespace halvex::TradingViewChartDetector {
namespace {

ChartOCRCandidate text(const std::string& value, double x, double y, double width, double height, double confidence,
                       std::optional<std::string> role = std::nullopt) {
    return testing::ocrCandidate(value, x, y, width, height, confidence, std::move(role));
}

// The quantity badge with its P&L beside it, with the badge rectangle the pixel stage found.
std::vector<ChartOCRCandidate> positionLabel(const std::string& quantity, const std::string& pnl, double x, double y,
                                             const std::string& role, double confidence = 0.9) {
    ChartOCRCandidate badge = text(quantity, x, y, 0.012, 0.022, 1.0, role);
    badge.badgeRect = ChartNormalizedRect{x - 0.002, y - 0.003, 0.016, 0.028};
    return {badge, text(pnl, x + 0.014, y, 0.07, 0.022, confidence)};
}

// A busy chart: legend, drawing-tool box, a take-profit above and a stop-loss below the position
// label, price-axis numbers, an order toast, a speck of low-confidence noise and an empty text.
std::vector<ChartOCRCandidate> busyFrame() {
    std::vector<ChartOCRCandidate> frame{
        text("ESZ4 · 15 · CME", 0.01, 0.955, 0.12, 0.02, 0.9),
        text("4512.25", 0.95, 0.74, 0.04, 0.02, 0.95),
        text("Risk/Reward Ratio: 2.5", 0.20, 0.70, 0.10, 0.02, 0.9),
        text("Target: 25.00 (0.55%) Amount: 1250", 0.20, 0.66, 0.14, 0.02, 0.9),
        text("× +250.00 USD", 0.60, 0.62, 0.08, 0.02, 0.9),
    };
    for (const auto& fragment : positionLabel("2", "+125.50 USD", 0.60, 0.50, "active-long")) frame.push_back(fragment);
    const std::vector<ChartOCRCandidate> rest{
        text("4500.00", 0.95, 0.49, 0.04, 0.02, 0.95),
        text("× -100.00 USD", 0.60, 0.38, 0.08, 0.02, 0.9),
        text("~", 0.50, 0.30, 0.01, 0.02, 0.1),
        text("4487.75", 0.95, 0.24, 0.04, 0.02, 0.95),
        text("Order executed: Buy 1 ESZ4 at 4500.25", 0.35, 0.10, 0.30, 0.025, 0.92),
        text("  ", 0.5, 0.5, 0.01, 0.01, 0.9),
    };
    frame.insert(frame.end(), rest.begin(), rest.end());
    return frame;
}

TEST(ClassifyDetailed, ReadsThePositionOfABusyFrame) {
    const auto frame = busyFrame();
    const ChartClassification result = classifyDetailed(frame, 1'700'000'000.5, true);
    const ChartTradeObservation& observation = result.observation;

    EXPECT_EQ(result.selectionLog(), (std::vector<std::string>{
                                         "selected [active-long]: 2 +125.50 USD",
                                         "rejected(no-filled-position-badge): 4512.25",
                                         "rejected(drawing-tool-statistics): Risk/Reward Ratio: 2.5",
                                         "rejected(drawing-tool-statistics): Target: 25.00 (0.55%) Amount: 1250",
                                         "rejected(no-filled-position-badge): × +250.00 USD",
                                         "rejected(no-filled-position-badge): 4500.00",
                                         "rejected(no-filled-position-badge): × -100.00 USD",
                                         "rejected(no-filled-position-badge): 4487.75",
                                         "rejected(order-toast): Order executed: Buy 1 ESZ4 at 4500.25",
                                         "rejected(outside-chart-band): ESZ4 · 15 · CME",
                                         "rejected(low-confidence): ~",
                                     }));
    EXPECT_EQ(result.decisions[0].detail,
              "position-quantity, signed-pnl, compact-position-label, money-pnl, filled-position-badge, position-line");
    EXPECT_EQ(result.decisions[9].detail, "centre y 0.965");
    EXPECT_EQ(result.decisions[10].detail, "confidence 0.10");
    EXPECT_EQ(result.decisions[1].detail, explanation(ChartRejectionRule::noFilledPositionBadge));
    for (const auto& decision : result.decisions) EXPECT_FALSE(decision.pane.has_value());

    EXPECT_TRUE(observation.detected);
    EXPECT_EQ(observation.observedAt, 1'700'000'000.5);
    EXPECT_EQ(observation.position, 2);
    EXPECT_EQ(observation.pnl, 125.5);
    EXPECT_EQ(observation.currency, "USD");
    EXPECT_NEAR(observation.confidence, 0.4 * 0.98 + 0.6 * 0.95, 1e-12);
    ASSERT_TRUE(observation.takeProfit.has_value());
    EXPECT_EQ(*observation.takeProfit, (ChartProtectiveLevel{250, "USD", "× +250.00 USD", std::nullopt}));
    ASSERT_TRUE(observation.stopLoss.has_value());
    EXPECT_EQ(*observation.stopLoss, (ChartProtectiveLevel{-100, "USD", "× -100.00 USD", std::nullopt}));
    EXPECT_EQ(observation.textSnippets, (std::vector<std::string>{"2 +125.50 USD"}));
    EXPECT_EQ(observation.recognizedTextCount, 13);
    EXPECT_EQ(observation.selectionLog, result.selectionLog());
    EXPECT_EQ(observation.labelRect, (ChartNormalizedRect{0.60, 0.50, 0.012, 0.022}));
    EXPECT_EQ(observation.badgeRect, frame[5].badgeRect);
    EXPECT_EQ(observation.badgeSide, 1);
    EXPECT_TRUE(observation.positionLinePresent);
    EXPECT_FALSE(observation.pane.has_value());
    EXPECT_FALSE(observation.symbol.has_value());

    // The label's own evidence, then one log line per decision.
    ASSERT_EQ(observation.evidence.size(), 6u + result.decisions.size());
    EXPECT_EQ(observation.evidence[0], "position-quantity");
    EXPECT_EQ(observation.evidence[6], "selected [active-long]: 2 +125.50 USD");

    // Usable candidates only, tagged with the reason of the decision on their text.
    ASSERT_EQ(observation.candidates.size(), 10u);
    EXPECT_EQ(observation.candidates[0].text, "4512.25");
    EXPECT_EQ(observation.candidates[0].rejectionReason, "no-filled-position-badge");
    EXPECT_EQ(observation.candidates[1].rejectionReason, "drawing-tool-statistics");
    EXPECT_EQ(observation.candidates[5].text, "+125.50 USD");
    EXPECT_EQ(observation.candidates[5].rejectionReason, std::nullopt);
    EXPECT_EQ(observation.candidates[9].rejectionReason, "order-toast");
}

TEST(ClassifyDetailed, ConcurrentScansShareTheCompiledPatterns) {
    const auto frame = busyFrame();
    const ChartClassification expected = classifyDetailed(frame, 1, true);
    std::vector<int> mismatches(3, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                if (!(classifyDetailed(frame, 1, true) == expected)) ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches, (std::vector<int>{0, 0, 0}));
}

TEST(ClassifyDetailed, TextAloneNeverConfirmsAPosition) {
    const auto label = positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long");
    const ChartClassification result = classifyDetailed(label, 10, false);
    EXPECT_FALSE(result.observation.detected);
    ASSERT_EQ(result.decisions.size(), 1u);
    EXPECT_EQ(result.decisions[0].text, "2");
    EXPECT_EQ(result.decisions[0].rejectionReason, "pixel-analysis-unavailable");
    EXPECT_EQ(result.decisions[0].detail, explanation(ChartRejectionRule::pixelAnalysisUnavailable));
    EXPECT_EQ(result.observation.evidence, (std::vector<std::string>{"rejected(pixel-analysis-unavailable): 2"}));
    EXPECT_EQ(result.observation.recognizedTextCount, 2);
    EXPECT_EQ(result.observation.candidates[0].rejectionReason, "pixel-analysis-unavailable");

    const ChartClassification empty = classifyDetailed(std::vector<ChartOCRCandidate>{}, 10, false);
    ASSERT_EQ(empty.decisions.size(), 1u);
    EXPECT_EQ(empty.decisions[0].text, "");
}

TEST(ClassifyDetailed, FiltersByConfidenceAndChartBand) {
    auto label = positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long");
    label[1].confidence = 0.149;
    auto result = classifyDetailed(label, 0, true);
    EXPECT_EQ(result.decisions.back().rejectionReason, "low-confidence");
    EXPECT_EQ(result.decisions.back().detail, "confidence 0.15");

    label[1].confidence = 0.15;
    EXPECT_TRUE(classifyDetailed(label, 0, true).observation.detected);

    // At the chart's top edge: the P&L text is dropped, the badge text stays usable.
    const auto edge = positionLabel("2", "+125.50 USD", 0.6, 0.939, "active-long");
    result = classifyDetailed(edge, 0, true);
    EXPECT_EQ(result.decisions.back().rejectionReason, "outside-chart-band");
    EXPECT_EQ(result.decisions.back().text, "+125.50 USD");
    EXPECT_EQ(result.decisions.back().detail, "centre y 0.950");
    ASSERT_EQ(result.observation.candidates.size(), 1u);
    EXPECT_EQ(result.observation.candidates[0].text, "2");

    auto both = edge;
    both[1].visualRole = "active-long";
    EXPECT_TRUE(classifyDetailed(both, 0, true).observation.detected);
}

TEST(ClassifyDetailed, NonFiniteConfidenceOrPositionIsRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto label = positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long");
    label[1].confidence = nan;
    auto result = classifyDetailed(label, 0, true);
    EXPECT_EQ(result.decisions.back().rejectionReason, "low-confidence");
    EXPECT_TRUE(std::isfinite(result.observation.confidence));

    label = positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long");
    label[1].y = nan;
    result = classifyDetailed(label, 0, true);
    EXPECT_EQ(result.decisions.back().rejectionReason, "outside-chart-band");
}

TEST(ClassifyDetailed, StrongerRowWinsAndTiesKeepTheFirst) {
    std::vector<ChartOCRCandidate> frame = positionLabel("1", "+3.00 USD", 0.3, 0.70, "active-long", 0.5);
    for (const auto& f : positionLabel("2", "+6.00 USD", 0.3, 0.40, "active-long", 0.5)) frame.push_back(f);
    for (auto& fragment : frame) fragment.confidence = 0.5;
    auto result = classifyDetailed(frame, 0, true);
    EXPECT_EQ(result.observation.position, 1);
    EXPECT_NEAR(result.observation.confidence, 0.692, 1e-12);
    ASSERT_EQ(result.decisions.size(), 2u);
    EXPECT_EQ(result.decisions[1].logLine(), "rejected(unknown) [active-long]: 2 +6.00 USD");
    EXPECT_EQ(result.decisions[1].detail, "outranked by a stronger row (confidence 0.69)");
    EXPECT_EQ(result.decisions[1].rejectionReason, std::nullopt);

    // A later, stronger row displaces the earlier best, which is recorded with its own confidence.
    for (auto& f : positionLabel("3", "+9.00 USD", 0.3, 0.20, "active-long")) {
        f.confidence = 1.0;
        frame.push_back(f);
    }
    result = classifyDetailed(frame, 0, true);
    EXPECT_EQ(result.observation.position, 3);
    EXPECT_EQ(result.selectionLog(), (std::vector<std::string>{"selected [active-long]: 3 +9.00 USD",
                                                              "rejected(unknown) [active-long]: 2 +6.00 USD",
                                                              "rejected(unknown) [active-long]: 1 +3.00 USD"}));
    EXPECT_EQ(result.decisions[2].detail, "outranked by a stronger row (confidence 0.69)");
}

TEST(ClassifyDetailed, DecisionsAreCappedWithTheAcceptedFirstAndQuietOnesLast) {
    std::vector<ChartOCRCandidate> frame;
    for (int i = 0; i < 6; ++i) frame.push_back(text("noise", 0.1 + 0.1 * i, 0.3, 0.02, 0.02, 0.05));
    for (int i = 0; i < 6; ++i) frame.push_back(text("File Edit", 0.1 + 0.1 * i, 0.97, 0.02, 0.02, 0.9));
    for (int i = 0; i < 8; ++i) frame.push_back(text(std::to_string(4500 + i), 0.95, 0.1 + 0.05 * i, 0.04, 0.02, 0.9));
    for (const auto& f : positionLabel("2", "+125.50 USD", 0.6, 0.52, "active-long")) frame.push_back(f);
    const auto result = classifyDetailed(frame, 0, true);
    ASSERT_EQ(result.decisions.size(), 12u);
    EXPECT_TRUE(result.decisions[0].accepted);
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(result.decisions[i].rejectionReason, "no-filled-position-badge");
    for (int i = 9; i < 12; ++i) EXPECT_EQ(result.decisions[i].rejectionReason, "low-confidence");
    EXPECT_EQ(result.observation.selectionLog.size(), 12u);
}

TEST(ClassifyDetailed, ProtectiveLevelsFollowUnitAndMarker) {
    std::vector<ChartOCRCandidate> frame = positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long");
    frame.push_back(text("× +50.00 EUR", 0.6, 0.6, 0.08, 0.02, 0.9));
    auto observation = classify(frame, 0);
    EXPECT_FALSE(observation.takeProfit.has_value());
    EXPECT_FALSE(observation.stopLoss.has_value());

    frame.push_back(text("× +40.00 USD", 0.6, 0.3, 0.08, 0.02, 0.9, "unfilled-order"));
    observation = classify(frame, 0);
    EXPECT_FALSE(observation.takeProfit.has_value());
    ASSERT_TRUE(observation.stopLoss.has_value());
    EXPECT_EQ(observation.stopLoss->value, 40);
}

TEST(ProtectiveLevels, PicksExtremesNearTheLabel) {
    const auto entry = [](double pnl, double y, double x = 0.6, std::optional<std::string> role = std::nullopt,
                          std::string unit = "USD") {
        ChartLabelReading reading;
        reading.pnl = pnl;
        reading.currency = unit;
        return ProtectiveEntry{y, x, reading, "× " + std::to_string(pnl) + " " + unit, std::move(role)};
    };
    // Several: largest is the target, smallest the stop, whatever their signs.
    auto levels = protectiveLevels(0.5, 0.6, "USD", "", {entry(30, 0.6), entry(80, 0.7), entry(10, 0.3)});
    EXPECT_EQ(levels.takeProfit->value, 80);
    EXPECT_EQ(levels.stopLoss->value, 10);
    // All equal: the first judged by its sign alone, even on an order marker.
    levels = protectiveLevels(0.5, 0.6, "USD", "", {entry(20, 0.6, 0.6, "unfilled-order"), entry(20, 0.3)});
    EXPECT_EQ(levels.takeProfit->value, 20);
    EXPECT_FALSE(levels.stopLoss.has_value());
    // A zero amount alone is neither.
    levels = protectiveLevels(0.5, 0.6, "USD", "", {entry(0, 0.6)});
    EXPECT_EQ(levels, ProtectiveLevels{});
    // Reach: 0.12 across and 0.55 up or down; the label's own text is left out.
    levels = protectiveLevels(0.5, 0.6, std::nullopt, "× -5.000000 USD",
                              {entry(-5, 0.4), entry(7, 0.5, 0.73), entry(9, 1.06, 0.6), entry(-3, 1.04, 0.71)});
    EXPECT_FALSE(levels.takeProfit.has_value());
    EXPECT_EQ(levels.stopLoss->value, -3);
    EXPECT_EQ(levels.stopLoss->text, "× -3.000000 USD");
}

TEST(Prioritised, StableTiersCappedAtTwelve) {
    std::vector<ChartCandidateDecision> decisions;
    decisions.push_back(ChartCandidateDecision::rejected("a", ChartRejectionRule::emptyText, {}, {}, {}));
    decisions.push_back(ChartCandidateDecision::rejected("b", ChartRejectionRule::stopOrder, {}, {}, {}));
    decisions.push_back({"c", false, std::nullopt, std::string("outranked"), std::nullopt, std::nullopt});
    decisions.push_back(ChartCandidateDecision::selected("d", {}, {}));
    decisions.push_back(ChartCandidateDecision::rejected("e", ChartRejectionRule::outsideChartBand, {}, {}, {}));
    std::vector<std::string> order;
    for (const auto& decision : prioritised(decisions)) order.push_back(decision.text);
    EXPECT_EQ(order, (std::vector<std::string>{"d", "b", "c", "a", "e"}));

    for (int i = 0; i < 10; ++i) decisions.push_back(ChartCandidateDecision::selected("s", {}, {}));
    EXPECT_EQ(prioritised(decisions).size(), 12u);
}

TEST(Annotate, TagsCandidatesByDecisionText) {
    std::vector<ChartOCRCandidate> candidates(70, text("x", 0, 0, 0, 0, 1));
    candidates[0].text = "+3.00 USD";
    candidates[1].text = "Buy";
    candidates[2].text = "kept";
    candidates[2].rejectionReason = "earlier";
    const std::vector<ChartCandidateDecision> decisions{
        ChartCandidateDecision::rejected("1 +3.00 USD", ChartRejectionRule::noPositionLine, {}, {}, {}),
        ChartCandidateDecision::rejected("Buy", ChartRejectionRule::quoteButton, {}, {}, {}),
        ChartCandidateDecision::rejected("Buy", ChartRejectionRule::limitOrder, {}, {}, {}),
        ChartCandidateDecision::selected("kept", {}, {}),
    };
    const auto annotated = annotate(candidates, decisions);
    ASSERT_EQ(annotated.size(), 60u);
    EXPECT_EQ(annotated[0].rejectionReason, "no-position-line");
    EXPECT_EQ(annotated[1].rejectionReason, "limit-order");  // the later decision on the same text
    EXPECT_EQ(annotated[2].rejectionReason, "earlier");
    EXPECT_EQ(annotated[3].rejectionReason, std::nullopt);
    EXPECT_EQ(annotate(candidates, {}).size(), 60u);
}

TEST(NotDetected, SnippetsAreTheMostConfidentUsableTexts) {
    std::vector<ChartOCRCandidate> usable;
    for (int i = 0; i < 8; ++i) usable.push_back(text("t" + std::to_string(i), 0.1, 0.5, 0.1, 0.02, 0.1 * i));
    usable.push_back(text(std::string(200, 'y'), 0.1, 0.5, 0.1, 0.02, 0.75));
    const auto observation = notDetected(4, std::vector<ChartOCRCandidate>(20), usable, {});
    EXPECT_FALSE(observation.detected);
    EXPECT_EQ(observation.confidence, 0);
    EXPECT_EQ(observation.recognizedTextCount, 20);
    EXPECT_EQ(observation.textSnippets,
              (std::vector<std::string>{std::string(160, 'y'), "t7", "t6", "t5", "t4", "t3"}));
    EXPECT_FALSE(observation.position.has_value());
}

TEST(Rescaled, ConvertsPaneCoordinatesOnlyInMultiPaneLayouts) {
    ChartOCRCandidate candidate = text("2", 0.5, 0.4, 0.2, 0.02, 1);
    candidate.badgeRect = ChartNormalizedRect{0.4, 0.39, 0.1, 0.03};
    const auto converted = rescaled({candidate}, ChartPane{1, 2, 0.5, 1.0});
    EXPECT_DOUBLE_EQ(converted[0].x, 0.75);
    EXPECT_DOUBLE_EQ(converted[0].width, 0.1);
    EXPECT_DOUBLE_EQ(converted[0].y, 0.4);
    EXPECT_DOUBLE_EQ(converted[0].badgeRect->x, 0.7);
    EXPECT_DOUBLE_EQ(converted[0].badgeRect->width, 0.05);
    EXPECT_EQ(rescaled({candidate}, ChartPane{0, 1, 0.5, 1.0})[0], candidate);
    EXPECT_EQ(rescaled({candidate}, ChartPane{0, 2, 0.5, 0.5})[0], candidate);
}

std::vector<ChartPaneReading> twoPanes(double leftConfidence, double rightConfidence) {
    ChartPaneReading left{ChartPane{0, 2, 0.0, 0.5}, positionLabel("1", "-3.00 USD", 0.6, 0.5, "active-short"), "ESZ4"};
    for (auto& fragment : left.candidates) fragment.confidence = leftConfidence;
    left.candidates.push_back(text("Buy", 0.1, 0.8, 0.05, 0.02, 0.9));
    ChartPaneReading right{ChartPane{1, 2, 0.5, 1.0}, positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long"),
                           "NQZ4"};
    for (auto& fragment : right.candidates) fragment.confidence = rightConfidence;
    right.candidates.push_back(text("Sell", 0.1, 0.8, 0.05, 0.02, 0.9));
    return {left, right};
}

TEST(ClassifyPanes, TracksTheStrongerPaneAndRecordsTheOther) {
    const auto panes = twoPanes(0.6, 0.9);
    const ChartClassification result = classifyDetailed(panes, 7, true);
    const ChartTradeObservation& observation = result.observation;

    EXPECT_EQ(result.selectionLog(), (std::vector<std::string>{
                                         "selected [active-long] {pane 2/2}: 2 +125.50 USD",
                                         "rejected(second-position-not-tracked) [active-short] {pane 1/2}: 1 -3.00 USD",
                                         "rejected(quote-button) {pane 1/2}: Buy",
                                         "rejected(quote-button) {pane 2/2}: Sell",
                                     }));
    EXPECT_EQ(result.decisions[1].detail,
              "pane 1/2 also shows a position (-1 at confidence 0.75); Halvex tracks one at a time.");
    EXPECT_EQ(observation.selectionLog, result.selectionLog());
    EXPECT_TRUE(observation.detected);
    EXPECT_EQ(observation.position, 2);
    EXPECT_EQ(observation.pane, panes[1].pane);
    EXPECT_EQ(observation.symbol, "NQZ4");
    EXPECT_NEAR(observation.labelRect->x, 0.5 + 0.5 * 0.6, 1e-12);
    EXPECT_NEAR(observation.labelRect->width, 0.5 * 0.012, 1e-12);
    EXPECT_NEAR(observation.badgeRect->x, 0.5 + 0.5 * 0.598, 1e-12);
    EXPECT_EQ(observation.recognizedTextCount, 6);
    ASSERT_EQ(observation.candidates.size(), 6u);
    EXPECT_NEAR(observation.candidates[0].x, 0.3, 1e-12);  // left pane's badge, now in frame coordinates
    EXPECT_NEAR(observation.candidates[3].x, 0.8, 1e-12);

    // Evidence: the label's own tags, then the merged log (the pane's own log lines are gone).
    const std::vector<std::string> expectedEvidence{
        "position-quantity", "signed-pnl", "compact-position-label", "money-pnl", "filled-position-badge",
        "position-line",     result.selectionLog()[0], result.selectionLog()[1], result.selectionLog()[2],
        result.selectionLog()[3]};
    EXPECT_EQ(observation.evidence, expectedEvidence);
}

TEST(ClassifyPanes, EqualConfidenceTracksTheLeftmostPane) {
    const auto result = classifyDetailed(twoPanes(0.9, 0.9), 7, true);
    EXPECT_EQ(result.observation.position, -1);
    EXPECT_EQ(result.observation.pane->index, 0);
    EXPECT_EQ(result.decisions[1].rejectionReason, "second-position-not-tracked");
}

TEST(ClassifyPanes, WithoutAPositionMergesEveryPane) {
    auto panes = twoPanes(0.9, 0.9);
    panes[0].candidates[0].visualRole = "unfilled-order";
    panes[1].candidates[0].visualRole.reset();
    const auto result = classifyDetailed(panes, 7, true);
    EXPECT_FALSE(result.observation.detected);
    EXPECT_FALSE(result.observation.pane.has_value());
    EXPECT_FALSE(result.observation.symbol.has_value());
    EXPECT_EQ(result.observation.recognizedTextCount, 6);
    EXPECT_EQ(result.selectionLog(), (std::vector<std::string>{
                                         "rejected(quote-button) {pane 1/2}: Buy",
                                         "rejected(unfilled-order-badge) [unfilled-order] {pane 1/2}: 1 -3.00 USD",
                                         "rejected(quote-button) {pane 2/2}: Sell",
                                         "rejected(no-filled-position-badge) {pane 2/2}: 2 +125.50 USD",
                                     }));
    EXPECT_EQ(result.observation.evidence, result.selectionLog());
    EXPECT_EQ(result.observation.textSnippets.size(), 6u);
}

TEST(ClassifyPanes, SinglePaneLayoutKeepsCoordinatesAndLeavesPaneOffDecisions) {
    const ChartPaneReading only{ChartPane::single(), positionLabel("2", "+125.50 USD", 0.6, 0.5, "active-long"),
                                "ESZ4"};
    const auto result = classifyDetailed(std::vector<ChartPaneReading>{only}, 7, true);
    EXPECT_EQ(result.selectionLog(), (std::vector<std::string>{"selected [active-long]: 2 +125.50 USD"}));
    EXPECT_EQ(result.observation.labelRect->x, 0.6);
    EXPECT_EQ(result.observation.pane, ChartPane::single());
    EXPECT_EQ(result.observation.symbol, "ESZ4");

    const auto none = classifyDetailed(std::vector<ChartPaneReading>{}, 7, true);
    EXPECT_FALSE(none.observation.detected);
    EXPECT_TRUE(none.decisions.empty());
}

TEST(Detector, IdentityTexts) {
    EXPECT_EQ(version(), "tradingview-position-label-v2");
    EXPECT_EQ(requirements().size(), 6u);
    EXPECT_EQ(limitations().size(), 13u);
    EXPECT_EQ(requirements().front(), "Capture a TradingView window rather than an entire display.");
    EXPECT_EQ(limitations()[8], "Only one position is tracked at a time. When two charts both show one, the stronger "
                                "reading wins (leftmost on a tie) and the other is recorded in the selection log as "
                                "seen but untracked.");
}

}  // namespace
}  // namespace halvex::TradingViewChartDetector
