#include "core/support/JSONEncoding.h"

#include <cmath>

namespace halvex {
namespace {

bool allFinite(const nlohmann::json& value) {
    switch (value.type()) {
    case nlohmann::json::value_t::number_float:
        return std::isfinite(value.get<double>());
    case nlohmann::json::value_t::object:
    case nlohmann::json::value_t::array:
        for (const auto& member : value) {
            if (!allFinite(member)) return false;
        }
        return true;
    default:
        return true;
    }
}

void requireFinite(const nlohmann::json& value) {
    if (!allFinite(value)) throw JSONEncodingError("A number in the value is not finite and cannot be written as JSON.");
}

}  // namespace

// nlohmann/json keeps object keys in a std::map, so they are already in ascending byte order, and it
// never escapes "/". Doubles print in shortest round-trip form.
std::string halvexEncodeCompact(const nlohmann::json& value) {
    requireFinite(value);
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string halvexEncodePretty(const nlohmann::json& value) {
    requireFinite(value);
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace halvex
