#include "helper/protocol/Envelopes.h"

namespace halvex {

nlohmann::json toJSON(const SuccessEnvelope& envelope) {
    return {{"id", envelope.id}, {"ok", true}, {"result", envelope.result}, {"type", "response"}};
}

nlohmann::json toJSON(const ErrorEnvelope& envelope) {
    return {{"error", envelope.error}, {"id", envelope.id}, {"ok", false}, {"type", "response"}};
}

nlohmann::json toJSON(const EventEnvelope& envelope) {
    return {{"event", envelope.event}, {"result", envelope.result}, {"type", "event"}};
}

nlohmann::json toJSON(const ProtocolErrorResult& result) { return {{"message", result.message}}; }

}  // namespace halvex
