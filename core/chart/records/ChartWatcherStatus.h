#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartPlatform.h"
#include "core/chart/records/ChartTradeObservation.h"
#include "core/chart/records/ChartWatcherConfiguration.h"

namespace halvex {

// What the chart watcher sees, as the desktop application is told.
struct ChartWatcherStatus {
    // The values of `phase`.
    static constexpr const char* phaseWatching = "watching";
    static constexpr const char* phaseTradeOpen = "trade-open";
    static constexpr const char* phaseStopped = "stopped";
    static constexpr const char* phaseUnsupported = "unsupported";

    std::string phase;
    bool supported = true;
    bool sourceEligible = false;
    std::optional<std::string> sourceId;
    std::optional<std::string> sourceAppName;
    std::int64_t scanIntervalMilliseconds = 0;
    std::int64_t openConfirmations = 0;
    std::int64_t changeConfirmations = 0;
    std::int64_t closeConfirmations = 0;
    std::int64_t scansCompleted = 0;
    std::int64_t positiveScans = 0;
    std::int64_t ocrErrors = 0;
    std::int64_t consecutivePresent = 0;
    std::int64_t consecutiveAbsent = 0;
    std::int64_t heldAbsentScans = 0;
    bool positionLineHeld = false;
    bool viewportMoving = false;
    std::optional<double> viewportShift;
    bool positionOpen = false;
    std::optional<double> currentPosition;
    std::optional<double> lastScanAt;
    std::optional<double> lastMatchAt;
    std::optional<double> lastScanDurationMilliseconds;
    std::optional<ChartTradeObservation> lastObservation;
    std::optional<std::string> message;
    ChartPlatformSetting platform = ChartPlatformSetting::tradingview;
    std::optional<ChartPlatform> resolvedPlatform;

    bool operator==(const ChartWatcherStatus&) const = default;

    // The status of a watcher that is not running: every counter 0, every flag false, no times.
    static ChartWatcherStatus stopped(std::optional<std::string> sourceId, std::optional<std::string> sourceAppName,
                                      bool sourceEligible, const ChartWatcherConfiguration& configuration,
                                      std::optional<std::string> message);
};

nlohmann::json toJSON(const ChartWatcherStatus& status);
// Throws nlohmann::json::exception on a missing required key, a wrong type or an unknown raw value.
ChartWatcherStatus chartWatcherStatusFromJSON(const nlohmann::json& json);

}  // namespace halvex
