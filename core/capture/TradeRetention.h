#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// The retention window of one marked trade: which recorded media its clip needs.
struct TradeRetention {
    std::string sessionId;                 // as the client sent it
    double occurredAt = 0;                 // the first mark's time; later marks keep it
    double retainFrom = 0;                 // mark time minus pre-roll
    std::optional<double> exitOccurredAt;  // absent while the trade is open
    std::optional<double> retainThrough;   // end time plus post-roll; absent while open
    bool completionEmitted = false;        // the completion has been announced

    bool operator==(const TradeRetention&) const = default;
};

nlohmann::json toJSON(const TradeRetention& retention);
// Throws nlohmann::json::exception when a required key is missing or a value has the wrong type.
TradeRetention tradeRetentionFromJSON(const nlohmann::json& json);

}  // namespace halvex
