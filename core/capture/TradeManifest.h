#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/capture/SegmentRecord.h"
#include "core/capture/TradeRetention.h"

namespace halvex {

inline constexpr std::int64_t tradeManifestSchemaVersion = 2;

// Where a trade stands, as the desktop application reads it from the manifest.
enum class TradeManifestStatus {
    active,    // marked, not ended
    postRoll,  // ended, the post-roll is still being recorded
    ready,     // completed: the clip can be cut
};

const std::string& rawValue(TradeManifestStatus status);
std::optional<TradeManifestStatus> parseTradeManifestStatus(const std::string& text);
// active without retainThrough; else ready once the completion was announced; else postRoll.
TradeManifestStatus tradeManifestStatus(const TradeRetention& retention);

// The file through which the desktop application learns which segments make up a trade's clip.
struct TradeManifest {
    std::int64_t schemaVersion = tradeManifestSchemaVersion;
    std::string sessionId;
    TradeManifestStatus status = TradeManifestStatus::active;
    double occurredAt = 0;
    double retainFrom = 0;
    std::optional<double> exitOccurredAt;
    std::optional<double> retainThrough;
    std::string manifestPath;             // absolute path of this manifest file
    std::vector<SegmentRecord> segments;  // those overlapping the window, by startedAt
    double effectivePreRollSeconds = 0;   // pre-roll actually covered by `segments`
    bool hasGaps = false;

    bool operator==(const TradeManifest&) const = default;
};

nlohmann::json toJSON(const TradeManifest& manifest);
// Throws nlohmann::json::exception when a required key is missing, a value has the wrong type or
// the status is not one of the known raw values.
TradeManifest tradeManifestFromJSON(const nlohmann::json& json);

}  // namespace halvex
