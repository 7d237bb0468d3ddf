#include "core/chart/tradingview/TradingViewTextRules.h"

#include <string>

#include <gtest/gtest.h>

namespace halvex::TradingViewChartDetector {
namespace {

TEST(TextRejection, NamesOrderWidgetsAndDrawingTools) {
    using R = ChartRejectionRule;
    const std::pair<std::string, R> cases[] = {
        {"Long Position", R::positionDrawingTool},
        {"short   position 1.5", R::positionDrawingTool},
        {"Risk/Reward Ratio: 2.5", R::drawingToolStatistics},
        {"Open P&L +12.00 USD", R::drawingToolStatistics},
        {"Qty 2", R::drawingToolStatistics},
        {"Target: 25.00 (0.55%) Amount: 1250", R::drawingToolStatistics},  // rule 2 comes before rule 6
        {"Order executed", R::orderToast},
        {"Sell 1 filled at 4500.25", R::orderToast},  // rule 3 comes before rule 7
        {"Buy Stop 1", R::stopOrder},
        {"S / L -40.00 USD", R::stopOrder},
        {"trailing", R::stopOrder},
        {"Buy Limit 2", R::limitOrder},  // rule 5 comes before rule 7
        {"MKT", R::limitOrder},
        {"Take-Profit +250 USD", R::targetOrder},
        {"TP", R::targetOrder},
        {"T/P 4510", R::targetOrder},
        {"Bid 4500.25", R::quoteButton},
        {"   ", R::emptyText},
        {"\u00A0\n", R::emptyText},
    };
    for (const auto& [text, rule] : cases) EXPECT_EQ(textRejection(text), rule) << text;
}

TEST(TextRejection, LeavesLabelsAndSymbolsAlone) {
    for (const std::string text : {"2 +125.50 USD", "× -100.00 USD", "ESZ4", "Stopped", "Buyer", "4500.25"}) {
        EXPECT_EQ(textRejection(text), std::nullopt) << text;
    }
}

TEST(TextRules, EveryStoredPatternCompiles) {
    EXPECT_EQ(textRules().size(), 7u);
    EXPECT_EQ(textRules().front().rule, ChartRejectionRule::positionDrawingTool);
    EXPECT_EQ(textRules().back().rule, ChartRejectionRule::quoteButton);
}

}  // namespace
}  // namespace halvex::TradingViewChartDetector
