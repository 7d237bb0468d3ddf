#pragma once

#include <optional>
#include <string>

#include "core/sources/NativeCaptureSource.h"

namespace halvex {

// Whether chart watching can run against a listed source, decided from its metadata alone.
namespace ChartWindowIdentity {

// The TradingView desktop application.
inline constexpr const char* bundleID = "com.tradingview.tradingviewapp.desktop";

// `bundleID` or any "com.tradingview." identifier, compared exactly (case matters).
bool isTradingViewApplication(const std::optional<std::string>& bundleID);
// A known web browser or one of its installed web apps, ignoring case.
bool isBrowserApplication(const std::optional<std::string>& bundleID);
// A WealthCharts identifier, or "wealthcharts" in the application's or the window's name.
bool isWealthChartsApplication(const std::optional<std::string>& bundleID, const std::optional<std::string>& appName,
                               const std::optional<std::string>& name);
// A window of TradingView, of any browser, titled with "tradingview", or with a chart-like title.
bool isTradingViewWindow(const NativeCaptureSource& source);
// A window that the TradingView rule or the WealthCharts rule accepts.
bool isEligibleWindow(const NativeCaptureSource& source);
// "▲" or "▼" together with "%", as a chart tab's title shows a symbol's change.
bool looksLikeChartTitle(const std::string& title);

}  // namespace ChartWindowIdentity
}  // namespace halvex
