#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace halvex::client {

// One line the helper wrote, as the client reads it: a response (success or error) to a request,
// or an event.
struct HelperMessage {
    enum class Kind { response, event };

    Kind kind = Kind::event;
    std::string id;                    // responses
    bool ok = false;                   // responses
    std::string error;                 // failed responses
    std::string event;                 // events
    nlohmann::json result;             // successful responses and events; null when absent
    std::string line;                  // the line as received

    bool operator==(const HelperMessage&) const = default;

    // Throws std::invalid_argument saying what is wrong when the line is not one of the envelopes.
    static HelperMessage decode(std::string_view line);
};

// The helper answered a request with an error envelope; `what()` is the helper's text.
class HelperCommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The helper went away (end of its output or a broken channel) before answering.
class HelperGoneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace HelperEvent {
inline constexpr const char* hello = "hello";
inline constexpr const char* protocolError = "protocol-error";
inline constexpr const char* captureStatus = "capture-status";
inline constexpr const char* capturePreview = "capture-preview";
inline constexpr const char* segmentFinalized = "segment-finalized";
inline constexpr const char* tradeMarked = "trade-marked";
inline constexpr const char* tradeCompleted = "trade-completed";
inline constexpr const char* captureError = "capture-error";
}  // namespace HelperEvent

}  // namespace halvex::client
