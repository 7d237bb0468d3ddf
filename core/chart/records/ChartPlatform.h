#pragma once

#include <array>
#include <optional>
#include <string>

namespace halvex {

// The chart applications the watcher can read.
enum class ChartPlatform { tradingview, wealthcharts };

// What the client asked for: one platform, or `auto` to let the watcher pick (and latch) one.
enum class ChartPlatformSetting { automatic, tradingview, wealthcharts };

inline constexpr std::array<ChartPlatform, 2> allChartPlatforms{ChartPlatform::tradingview,
                                                                ChartPlatform::wealthcharts};
inline constexpr std::array<ChartPlatformSetting, 3> allChartPlatformSettings{
    ChartPlatformSetting::automatic, ChartPlatformSetting::tradingview, ChartPlatformSetting::wealthcharts};

const std::string& rawValue(ChartPlatform platform);
std::optional<ChartPlatform> parseChartPlatform(const std::string& text);
// The symbol reported when neither the chart nor the client named one.
const std::string& placeholderSymbol(ChartPlatform platform);

// `automatic` is written "auto" (a C++ keyword, hence the longer case name).
const std::string& rawValue(ChartPlatformSetting setting);
std::optional<ChartPlatformSetting> parseChartPlatformSetting(const std::string& text);
// Absent for `automatic`, otherwise the same-named platform.
std::optional<ChartPlatform> fixedPlatform(ChartPlatformSetting setting);

}  // namespace halvex
