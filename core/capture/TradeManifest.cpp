#include "core/capture/TradeManifest.h"

#include <array>
#include <utility>

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {
namespace {

const std::array<std::pair<TradeManifestStatus, std::string>, 3>& statusNames() {
    static const std::array<std::pair<TradeManifestStatus, std::string>, 3> names{{
        {TradeManifestStatus::active, "active"},
        {TradeManifestStatus::postRoll, "post-roll"},
        {TradeManifestStatus::ready, "ready"},
    }};
    return names;
}

}  // namespace

const std::string& rawValue(TradeManifestStatus status) {
    for (const auto& [value, name] : statusNames()) {
        if (value == status) return name;
    }
    return statusNames().front().second;
}

std::optional<TradeManifestStatus> parseTradeManifestStatus(const std::string& text) {
    for (const auto& [value, name] : statusNames()) {
        if (name == text) return value;
    }
    return std::nullopt;
}

TradeManifestStatus tradeManifestStatus(const TradeRetention& retention) {
    if (!retention.retainThrough) return TradeManifestStatus::active;
    return retention.completionEmitted ? TradeManifestStatus::ready : TradeManifestStatus::postRoll;
}

nlohmann::json toJSON(const TradeManifest& manifest) {
    nlohmann::json segments = nlohmann::json::array();
    for (const auto& segment : manifest.segments) segments.push_back(toJSON(segment));
    nlohmann::json json = {{"schemaVersion", manifest.schemaVersion},
                           {"sessionId", manifest.sessionId},
                           {"status", rawValue(manifest.status)},
                           {"occurredAt", manifest.occurredAt},
                           {"retainFrom", manifest.retainFrom},
                           {"manifestPath", manifest.manifestPath},
                           {"segments", std::move(segments)},
                           {"effectivePreRollSeconds", manifest.effectivePreRollSeconds},
                           {"hasGaps", manifest.hasGaps}};
    halvexSetOptional(json, "exitOccurredAt", manifest.exitOccurredAt);
    halvexSetOptional(json, "retainThrough", manifest.retainThrough);
    return json;
}

TradeManifest tradeManifestFromJSON(const nlohmann::json& json) {
    using namespace strictjson;
    TradeManifest manifest;
    manifest.schemaVersion = requiredInteger(json, "schemaVersion");
    manifest.sessionId = requiredString(json, "sessionId");
    const std::string status = requiredString(json, "status");
    const auto parsedStatus = parseTradeManifestStatus(status);
    if (!parsedStatus) {
        throw nlohmann::json::type_error::create(302, "\"status\" has the unknown value \"" + status + "\"", nullptr);
    }
    manifest.status = *parsedStatus;
    manifest.occurredAt = requiredDouble(json, "occurredAt");
    manifest.retainFrom = requiredDouble(json, "retainFrom");
    manifest.exitOccurredAt = optionalDouble(json, "exitOccurredAt");
    manifest.retainThrough = optionalDouble(json, "retainThrough");
    manifest.manifestPath = requiredString(json, "manifestPath");
    manifest.segments = requiredArray(json, "segments", segmentRecordFromJSON);
    manifest.effectivePreRollSeconds = requiredDouble(json, "effectivePreRollSeconds");
    manifest.hasGaps = requiredBool(json, "hasGaps");
    return manifest;
}

}  // namespace halvex
