#include "core/chart/tradingview/TradingViewSymbolReader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/chart/tradingview/OCRCandidateTestSamples.h"

namespace halvex::TradingViewChartDetector {
namespace {

ChartOCRCandidate text(const std::string& value, double x, double y) {
    return testing::ocrCandidate(value, x, y, 0.1, 0.02, 0.9);
}

TEST(LooksLikeSymbol, AcceptsTickersOnly) {
    const std::pair<std::string, bool> cases[] = {
        {"ESZ4", true},  {"NQ1!", true}, {"BTCUSD.P", true}, {"BRK-B", true},  {"CME", true},
        {"USD", false},  {"AB", false},  {"aapl", false},    {"123", false},   {"X123", false},
        {"ES Z4", false}, {"WEALTHCHARTS", false}, {"ABCDEFGHIJKLMNO", false}, {"ESZ4.", false},
    };
    for (const auto& [candidate, expected] : cases) EXPECT_EQ(looksLikeSymbol(candidate), expected) << candidate;
    EXPECT_EQ(nonSymbolWords().size(), 50u);
}

TEST(ReadSymbol, WatermarkWinsOverTheLegend) {
    const std::vector<ChartOCRCandidate> pane{
        text("NQ1!", 0.02, 0.95),
        text("USD, 5m", 0.3, 0.6),  // fails the symbol test: not taken
        text("ESZ4, 5m", 0.3, 0.5),
    };
    EXPECT_EQ(readSymbol(pane), "ESZ4");
}

TEST(ReadSymbol, WholeLegendTextLeftmostThenUppermost) {
    EXPECT_EQ(readSymbol({text("ESZ4", 0.05, 0.96), text("NQZ4", 0.02, 0.90), text("CLZ4", 0.01, 0.5)}), "NQZ4");
    EXPECT_EQ(readSymbol({text("ESZ4", 0.05, 0.90), text("NQZ4", 0.05 + 5e-7, 0.96)}), "NQZ4");
    // Right of the legend corner: not the legend.
    EXPECT_EQ(readSymbol({text("ESZ4", 0.5, 0.96)}), std::nullopt);
}

TEST(ReadSymbol, MostFrequentLegendTokenThenLeftmostThenAlphabetical) {
    EXPECT_EQ(readSymbol({text("ESZ4 · 15 · CME", 0.02, 0.95), text("O4500.25 H4510 ESZ4", 0.2, 0.95)}), "ESZ4");
    EXPECT_EQ(readSymbol({text("CLZ4 · 1h", 0.10, 0.95), text("GCZ4 · 1h", 0.05, 0.95)}), "GCZ4");
    EXPECT_EQ(readSymbol({text("GCZ4 / CLZ4", 0.05, 0.95)}), "CLZ4");
    EXPECT_EQ(readSymbol({text("E-mini S&P 500 (MESZ4):", 0.05, 0.95)}), "MESZ4");
    EXPECT_EQ(readSymbol({text("Volume 12.5K", 0.05, 0.95), text("", 0.01, 0.99)}), std::nullopt);
    EXPECT_EQ(readSymbol({}), std::nullopt);
}

}  // namespace
}  // namespace halvex::TradingViewChartDetector
