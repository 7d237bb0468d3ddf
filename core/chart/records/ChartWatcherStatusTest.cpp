#include <gtest/gtest.h>

#include "core/chart/records/ChartImageAnalysisResult.h"
#include "core/chart/records/ChartRecordTestSamples.h"
#include "core/chart/records/ChartWatcherDiagnostics.h"
#include "core/chart/records/ChartWatcherStatus.h"

namespace halvex {
namespace {

using testing::expectStrictDecoding;
using testing::fullObservation;
using testing::keysOf;
using testing::throughWire;

const std::set<std::string> requiredStatusKeys{
    "phase",           "supported",          "sourceEligible",     "scanIntervalMilliseconds",
    "openConfirmations", "changeConfirmations", "closeConfirmations", "scansCompleted",
    "positiveScans",   "ocrErrors",          "consecutivePresent", "consecutiveAbsent",
    "heldAbsentScans", "positionLineHeld",   "viewportMoving",     "positionOpen",
    "platform"};

const std::set<std::string> optionalStatusKeys{
    "sourceId",   "sourceAppName", "viewportShift",                "currentPosition", "lastScanAt",
    "lastMatchAt", "lastScanDurationMilliseconds", "lastObservation", "message",       "resolvedPlatform"};

ChartWatcherStatus fullStatus() {
    ChartWatcherStatus s;
    s.phase = ChartWatcherStatus::phaseTradeOpen;
    s.supported = true;
    s.sourceEligible = true;
    s.sourceId = "window:4194312";
    s.sourceAppName = "TradingView";
    s.scanIntervalMilliseconds = 750;
    s.openConfirmations = 2;
    s.changeConfirmations = 3;
    s.closeConfirmations = 4;
    s.scansCompleted = 120;
    s.positiveScans = 80;
    s.ocrErrors = 1;
    s.consecutivePresent = 5;
    s.consecutiveAbsent = 0;
    s.heldAbsentScans = 2;
    s.positionLineHeld = true;
    s.viewportMoving = true;
    s.viewportShift = 0.01;
    s.positionOpen = true;
    s.currentPosition = -3;
    s.lastScanAt = 1'765'366'000.0;
    s.lastMatchAt = 1'765'365'999.25;
    s.lastScanDurationMilliseconds = 182.5;
    s.lastObservation = fullObservation();
    s.message = "note";
    s.platform = ChartPlatformSetting::automatic;
    s.resolvedPlatform = ChartPlatform::wealthcharts;
    return s;
}

TEST(ChartWatcherStatusJSON, KeysRawValuesRoundTripAndStrictDecoding) {
    const auto status = fullStatus();
    const auto json = throughWire(toJSON(status));
    std::set<std::string> all = requiredStatusKeys;
    all.insert(optionalStatusKeys.begin(), optionalStatusKeys.end());
    EXPECT_EQ(keysOf(json), all);
    EXPECT_EQ(json.at("phase"), "trade-open");
    EXPECT_EQ(json.at("platform"), "auto");
    EXPECT_EQ(json.at("resolvedPlatform"), "wealthcharts");
    EXPECT_EQ(chartWatcherStatusFromJSON(json), status);
    expectStrictDecoding(json, chartWatcherStatusFromJSON, requiredStatusKeys);
    auto unknown = json;
    unknown["platform"] = "automatic";
    EXPECT_THROW(chartWatcherStatusFromJSON(unknown), nlohmann::json::exception);
    unknown = json;
    unknown["lastObservation"].erase("detected");
    EXPECT_THROW(chartWatcherStatusFromJSON(unknown), nlohmann::json::exception);
}

TEST(ChartWatcherStatusJSON, WatchingBeforeTheFirstScanOmitsEveryOptionalButTheSource) {
    ChartWatcherStatus watching;
    watching.phase = ChartWatcherStatus::phaseWatching;
    watching.sourceEligible = true;
    watching.sourceId = "window:1";
    watching.sourceAppName = "Chrome";
    watching.platform = ChartPlatformSetting::automatic;
    const auto json = throughWire(toJSON(watching));
    std::set<std::string> expected = requiredStatusKeys;
    expected.insert({"sourceId", "sourceAppName"});
    EXPECT_EQ(keysOf(json), expected);
    EXPECT_EQ(json.at("scansCompleted"), 0);
    EXPECT_EQ(chartWatcherStatusFromJSON(json), watching);
}

TEST(ChartWatcherStatus, StoppedStatusZeroesEverythingAndFollowsTheSetting) {
    ChartWatcherConfiguration configuration;
    configuration.scanIntervalMilliseconds = 1000;
    configuration.openConfirmations = 3;
    configuration.changeConfirmations = 4;
    configuration.closeConfirmations = 6;
    configuration.platform = ChartPlatformSetting::wealthcharts;

    const auto stopped = ChartWatcherStatus::stopped("window:9", "WealthCharts", false, configuration,
                                                     "Chart watcher stopped.");
    ChartWatcherStatus expected;
    expected.phase = "stopped";
    expected.supported = true;
    expected.sourceEligible = false;
    expected.sourceId = "window:9";
    expected.sourceAppName = "WealthCharts";
    expected.scanIntervalMilliseconds = 1000;
    expected.openConfirmations = 3;
    expected.changeConfirmations = 4;
    expected.closeConfirmations = 6;
    expected.message = "Chart watcher stopped.";
    expected.platform = ChartPlatformSetting::wealthcharts;
    expected.resolvedPlatform = ChartPlatform::wealthcharts;
    EXPECT_EQ(stopped, expected);
    EXPECT_EQ(throughWire(toJSON(stopped)).at("resolvedPlatform"), "wealthcharts");

    configuration.platform = ChartPlatformSetting::automatic;
    const auto automatic = ChartWatcherStatus::stopped({}, {}, true, configuration, {});
    const auto json = throughWire(toJSON(automatic));
    EXPECT_EQ(keysOf(json), requiredStatusKeys);
    EXPECT_EQ(json.at("platform"), "auto");
}

TEST(ChartWatcherConfiguration, DefaultsAreThoseTheClientIsPromised) {
    const ChartWatcherConfiguration configuration;
    EXPECT_EQ(configuration.scanIntervalMilliseconds, 750);
    EXPECT_EQ(configuration.openConfirmations, 2);
    EXPECT_EQ(configuration.changeConfirmations, 2);
    EXPECT_EQ(configuration.closeConfirmations, 4);
    EXPECT_EQ(configuration.symbol, "TRADINGVIEW");
    EXPECT_EQ(configuration.platform, ChartPlatformSetting::tradingview);
}

TEST(ChartWatcherDiagnosticsJSON, AlwaysAllFourKeysWithACompleteStatus) {
    const ChartWatcherDiagnostics diagnostics{"tv-1", ChartWatcherStatus::stopped({}, {}, false, {}, {}),
                                              {}, {"one pane at a time"}};
    const auto json = throughWire(toJSON(diagnostics));
    EXPECT_EQ(keysOf(json), (std::set<std::string>{"detectorVersion", "status", "requirements", "limitations"}));
    EXPECT_TRUE(json.at("requirements").is_array());
    auto statusKeys = requiredStatusKeys;
    statusKeys.insert("resolvedPlatform");  // the default setting is a fixed platform
    EXPECT_EQ(keysOf(json.at("status")), statusKeys);
    EXPECT_EQ(chartWatcherDiagnosticsFromJSON(json), diagnostics);
    const ChartWatcherDiagnostics full{"wc-2", fullStatus(), {"keep the label visible"}, {"no drawings"}};
    expectStrictDecoding(throughWire(toJSON(full)), chartWatcherDiagnosticsFromJSON,
                         {"detectorVersion", "status", "requirements", "limitations"});
}

TEST(ChartImageAnalysisResultJSON, RoundTripAndStrictDecoding) {
    const ChartImageAnalysisResult result{"tv-1", fullObservation(), fullObservation().candidates,
                                          {"keep the label visible"}};
    const auto json = throughWire(toJSON(result));
    EXPECT_EQ(keysOf(json), (std::set<std::string>{"detectorVersion", "observation", "candidates", "requirements"}));
    EXPECT_EQ(chartImageAnalysisResultFromJSON(json), result);
    expectStrictDecoding(json, chartImageAnalysisResultFromJSON,
                         {"detectorVersion", "observation", "candidates", "requirements"});
}

}  // namespace
}  // namespace halvex
