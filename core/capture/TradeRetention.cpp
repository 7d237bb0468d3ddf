#include "core/capture/TradeRetention.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

nlohmann::json toJSON(const TradeRetention& retention) {
    nlohmann::json json = {{"sessionId", retention.sessionId},
                           {"occurredAt", retention.occurredAt},
                           {"retainFrom", retention.retainFrom},
                           {"completionEmitted", retention.completionEmitted}};
    halvexSetOptional(json, "exitOccurredAt", retention.exitOccurredAt);
    halvexSetOptional(json, "retainThrough", retention.retainThrough);
    return json;
}

TradeRetention tradeRetentionFromJSON(const nlohmann::json& json) {
    using namespace strictjson;
    TradeRetention retention;
    retention.sessionId = requiredString(json, "sessionId");
    retention.occurredAt = requiredDouble(json, "occurredAt");
    retention.retainFrom = requiredDouble(json, "retainFrom");
    retention.exitOccurredAt = optionalDouble(json, "exitOccurredAt");
    retention.retainThrough = optionalDouble(json, "retainThrough");
    retention.completionEmitted = requiredBool(json, "completionEmitted");
    return retention;
}

}  // namespace halvex
