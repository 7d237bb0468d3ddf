#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// The only shapes on the control channel; every other record travels as an envelope's `result`.
struct SuccessEnvelope {
    std::string id;
    nlohmann::json result;
    bool operator==(const SuccessEnvelope&) const = default;
};

struct ErrorEnvelope {
    std::string id;
    std::string error;
    bool operator==(const ErrorEnvelope&) const = default;
};

struct EventEnvelope {
    std::string event;
    nlohmann::json result;
    bool operator==(const EventEnvelope&) const = default;
};

struct ProtocolErrorResult {
    std::string message;
    bool operator==(const ProtocolErrorResult&) const = default;
};

nlohmann::json toJSON(const SuccessEnvelope& envelope);
nlohmann::json toJSON(const ErrorEnvelope& envelope);
nlohmann::json toJSON(const EventEnvelope& envelope);
nlohmann::json toJSON(const ProtocolErrorResult& result);

}  // namespace halvex
