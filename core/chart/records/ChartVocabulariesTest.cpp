#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/chart/records/ChartPlatform.h"
#include "core/chart/records/ChartPointValueBasis.h"
#include "core/chart/records/ChartSideBasis.h"

namespace halvex {
namespace {

template <typename E, std::size_t N, typename Parse>
void expectRawValues(const std::array<E, N>& cases, const std::vector<std::string>& expected, Parse parse) {
    ASSERT_EQ(N, expected.size());
    for (std::size_t i = 0; i < N; ++i) {
        EXPECT_EQ(rawValue(cases[i]), expected[i]);
        EXPECT_EQ(parse(expected[i]), cases[i]);
    }
    EXPECT_EQ(parse(""), std::nullopt);
    EXPECT_EQ(parse("TRADINGVIEW"), std::nullopt);  // raw values are case-sensitive
}

TEST(ChartVocabularies, CasesInOrderWithTheirRawValues) {
    expectRawValues(allChartPlatforms, {"tradingview", "wealthcharts"}, parseChartPlatform);
    expectRawValues(allChartPlatformSettings, {"auto", "tradingview", "wealthcharts"}, parseChartPlatformSetting);
    expectRawValues(allChartSideBases, {"badge-colour", "bracket-verb", "last-price", "unknown"},
                    parseChartSideBasis);
    expectRawValues(allChartPointValueBases, {"brackets", "instrument-table"}, parseChartPointValueBasis);
    EXPECT_EQ(parseChartSideBasis("badgeColour"), std::nullopt);
}

TEST(ChartVocabularies, FixedPlatformAndPlaceholderSymbol) {
    EXPECT_EQ(fixedPlatform(ChartPlatformSetting::automatic), std::nullopt);
    EXPECT_EQ(fixedPlatform(ChartPlatformSetting::tradingview), ChartPlatform::tradingview);
    EXPECT_EQ(fixedPlatform(ChartPlatformSetting::wealthcharts), ChartPlatform::wealthcharts);
    EXPECT_EQ(placeholderSymbol(ChartPlatform::tradingview), "TRADINGVIEW");
    EXPECT_EQ(placeholderSymbol(ChartPlatform::wealthcharts), "WEALTHCHARTS");
}

}  // namespace
}  // namespace halvex
