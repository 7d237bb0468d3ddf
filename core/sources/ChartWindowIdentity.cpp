#include "core/sources/ChartWindowIdentity.h"

#include <array>
#include <string_view>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace halvex::ChartWindowIdentity {
namespace {

constexpr std::string_view tradingViewPrefix = "com.tradingview.";
constexpr std::string_view wealthChartsPrefix = "com.wealthcharts.";
constexpr std::string_view wealthChartsMarker = "wealthcharts";
constexpr std::string_view tradingViewMarker = "tradingview";

constexpr std::array<std::string_view, 14> browserBundleIDs{
    "com.google.chrome",     "com.google.chrome.canary",
    "com.chromium.chromium", "com.apple.safari",
    "com.apple.safaritechnologypreview", "com.microsoft.edgemac",
    "org.mozilla.firefox",   "org.mozilla.firefoxdeveloperedition",
    "com.brave.browser",     "com.operasoftware.opera",
    "com.vivaldi.vivaldi",   "company.thebrowser.browser",
    "company.thebrowser.dia", "ai.perplexity.comet"};

constexpr std::array<std::string_view, 3> webAppPrefixes{"com.google.chrome.app.", "com.microsoft.edgemac.app.",
                                                         "com.brave.browser.app."};

// Full Unicode lower-casing, so names with non-ASCII letters still match.
std::string lowercased(const std::string& text) {
    std::string result;
    icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(result);
    return result;
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

}  // namespace

bool isTradingViewApplication(const std::optional<std::string>& candidate) {
    if (!candidate || candidate->empty()) return false;
    return *candidate == bundleID || candidate->starts_with(tradingViewPrefix);
}

bool isBrowserApplication(const std::optional<std::string>& candidate) {
    if (!candidate || candidate->empty()) return false;
    const auto lower = lowercased(*candidate);
    for (const auto browser : browserBundleIDs) {
        if (lower == browser) return true;
    }
    for (const auto prefix : webAppPrefixes) {
        if (lower.starts_with(prefix)) return true;
    }
    return false;
}

bool isWealthChartsApplication(const std::optional<std::string>& candidate, const std::optional<std::string>& appName,
                               const std::optional<std::string>& name) {
    if (candidate && lowercased(*candidate).starts_with(wealthChartsPrefix)) return true;
    if (appName && contains(lowercased(*appName), wealthChartsMarker)) return true;
    if (name && contains(lowercased(*name), wealthChartsMarker)) return true;
    return false;
}

bool looksLikeChartTitle(const std::string& title) {
    return (contains(title, "\u25B2") || contains(title, "\u25BC")) && contains(title, "%");
}

bool isTradingViewWindow(const NativeCaptureSource& source) {
    if (lowercased(source.type) != SourceType::window) return false;
    if (isTradingViewApplication(source.bundleId)) return true;
    if (isBrowserApplication(source.bundleId)) return true;
    if (contains(lowercased(source.name), tradingViewMarker)) return true;
    return looksLikeChartTitle(source.name);
}

bool isEligibleWindow(const NativeCaptureSource& source) {
    if (lowercased(source.type) != SourceType::window) return false;
    return isTradingViewWindow(source) || isWealthChartsApplication(source.bundleId, source.appName, source.name);
}

}  // namespace halvex::ChartWindowIdentity
