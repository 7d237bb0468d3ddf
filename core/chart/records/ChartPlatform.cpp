#include "core/chart/records/ChartPlatform.h"

namespace halvex {

namespace {

// Function-local so records built during static initialisation still find the texts.
const std::array<std::string, 2>& platformRawValues() {
    static const std::array<std::string, 2> values{"tradingview", "wealthcharts"};
    return values;
}
// Function-local so records built during static initialisation still find the texts.
const std::array<std::string, 2>& platformPlaceholderSymbols() {
    static const std::array<std::string, 2> values{"TRADINGVIEW", "WEALTHCHARTS"};
    return values;
}
// Function-local so records built during static initialisation still find the texts.
const std::array<std::string, 3>& settingRawValues() {
    static const std::array<std::string, 3> values{"auto", "tradingview", "wealthcharts"};
    return values;
}

}  // namespace

const std::string& rawValue(ChartPlatform platform) { return platformRawValues()[static_cast<std::size_t>(platform)]; }

std::optional<ChartPlatform> parseChartPlatform(const std::string& text) {
    for (const auto platform : allChartPlatforms) {
        if (rawValue(platform) == text) return platform;
    }
    return std::nullopt;
}

const std::string& placeholderSymbol(ChartPlatform platform) {
    return platformPlaceholderSymbols()[static_cast<std::size_t>(platform)];
}

const std::string& rawValue(ChartPlatformSetting setting) {
    return settingRawValues()[static_cast<std::size_t>(setting)];
}

std::optional<ChartPlatformSetting> parseChartPlatformSetting(const std::string& text) {
    for (const auto setting : allChartPlatformSettings) {
        if (rawValue(setting) == text) return setting;
    }
    return std::nullopt;
}

std::optional<ChartPlatform> fixedPlatform(ChartPlatformSetting setting) {
    switch (setting) {
        case ChartPlatformSetting::automatic: return std::nullopt;
        case ChartPlatformSetting::tradingview: return ChartPlatform::tradingview;
        case ChartPlatformSetting::wealthcharts: return ChartPlatform::wealthcharts;
    }
    return std::nullopt;
}

}  // namespace halvex
