#include <gtest/gtest.h>

#include "core/sources/ChartWindowIdentity.h"

namespace halvex {
namespace {

NativeCaptureSource window(const std::string& bundleId, const std::string& appName, const std::string& name,
                           const std::string& type = "window") {
    NativeCaptureSource source;
    source.type = type;
    source.bundleId = bundleId;
    source.appName = appName;
    source.name = name;
    return source;
}

TEST(ChartWindowIdentity, RecognisesApplicationsByTheirIdentifiers) {
    using namespace ChartWindowIdentity;
    EXPECT_TRUE(isTradingViewApplication(std::string(bundleID)));
    EXPECT_TRUE(isTradingViewApplication(std::string("com.tradingview.desktop-beta")));
    EXPECT_FALSE(isTradingViewApplication(std::string("Com.TradingView.desktop-beta")));
    EXPECT_FALSE(isTradingViewApplication(std::string()));
    EXPECT_FALSE(isTradingViewApplication(std::nullopt));

    EXPECT_TRUE(isBrowserApplication(std::string("com.google.chrome.app.abcdefgh")));
    EXPECT_TRUE(isBrowserApplication(std::string("COM.APPLE.SAFARI")));
    EXPECT_TRUE(isBrowserApplication(std::string("org.mozilla.firefox")));
    EXPECT_FALSE(isBrowserApplication(std::string("com.apple.safari.extension")));
    EXPECT_FALSE(isBrowserApplication(std::string("com.google.chrome.")));
    EXPECT_FALSE(isBrowserApplication(std::nullopt));

    EXPECT_TRUE(isWealthChartsApplication(std::string("com.wealthcharts.app"), std::nullopt, std::nullopt));
    EXPECT_TRUE(isWealthChartsApplication(std::nullopt, std::string("My WealthCharts"), std::nullopt));
    EXPECT_TRUE(isWealthChartsApplication(std::nullopt, std::nullopt, std::string("WEALTHCHARTS - Chart")));
    EXPECT_FALSE(isWealthChartsApplication(std::string("com.wealth.charts"), std::string("Wealth"), std::nullopt));
}

TEST(ChartWindowIdentity, ChartTitlesNeedAnArrowAndAPercentSign) {
    using ChartWindowIdentity::looksLikeChartTitle;
    EXPECT_TRUE(looksLikeChartTitle("ES1! 5432.25 \u25B2 +0.45%"));
    EXPECT_TRUE(looksLikeChartTitle("NQ \u25BC -1%"));
    EXPECT_FALSE(looksLikeChartTitle("ES1! 5432.25 \u25B2 +0.45"));
    EXPECT_FALSE(looksLikeChartTitle("Sales up 5%"));
}

TEST(ChartWindowIdentity, DecidesEligibilityFromTheListedRecord) {
    using namespace ChartWindowIdentity;
    struct Case {
        NativeCaptureSource source;
        bool tradingView;
        bool eligible;
    };
    const Case cases[] = {
        {window(bundleID, "TradingView", "Chart"), true, true},
        {window("com.apple.Safari", "Safari", "Unrelated page"), true, true},
        {window("com.example.editor", "Editor", "ES1! 5432.25 \u25B2 +0.45%"), true, true},
        {window("com.example.editor", "Editor", "ES1! 5432.25 \u25B2 +0.45"), false, false},
        {window("com.example.editor", "Editor", "My TradingView notes"), true, true},
        {window("com.example.editor", "Editor", "WealthCharts - Chart"), false, true},
        {window("Com.TradingView.desktop-beta", "Beta", "ES \u25BC 2%"), true, true},
        {window("Com.TradingView.desktop-beta", "Beta", "Main"), false, false},
        {window(bundleID, "TradingView", "TradingView \u25B2 1%", "screen"), false, false},
        {window(bundleID, "TradingView", "Chart", "WINDOW"), true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isTradingViewWindow(c.source), c.tradingView) << c.source.bundleId << " " << c.source.name;
        EXPECT_EQ(isEligibleWindow(c.source), c.eligible) << c.source.bundleId << " " << c.source.name;
    }
}

}  // namespace
}  // namespace halvex
