#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "helper/protocol/Payload.h"

namespace halvex {

// Why a request line could not be decoded; `what()` follows "Malformed request: ".
class RequestDecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One decoded request line. A missing or null payload is an empty one; unknown keys are ignored.
struct HelperRequest {
    std::string id;
    std::string command;
    Payload payload;

    bool operator==(const HelperRequest&) const = default;

    // Throws RequestDecodingError when the line is not one JSON object with a text `id`, a text
    // `command` and, if present, an object or null `payload`.
    static HelperRequest decode(std::string_view line);
};

// The request as a client writes it: `id`, `command` and, when it holds any value, `payload`.
nlohmann::json toJSON(const HelperRequest& request);

// The text `id` of a line that did not decode, when the line is still a JSON object holding one.
std::optional<std::string> recoverRequestID(std::string_view line);

}  // namespace halvex
