#include "core/capture/CaptureJSONFields.h"

#include <cmath>

namespace halvex::capturejson {
namespace {

[[noreturn]] void failType(const char* key, const char* expected) {
    throw nlohmann::json::type_error::create(302, std::string("\"") + key + "\" must be " + expected, nullptr);
}

}  // namespace

const nlohmann::json& required(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) throw nlohmann::json::type_error::create(302, "a record must be a JSON object", nullptr);
    const auto found = object.find(key);
    if (found == object.end()) {
        throw nlohmann::json::out_of_range::create(403, std::string("key \"") + key + "\" not found", nullptr);
    }
    return *found;
}

const nlohmann::json* optional(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) throw nlohmann::json::type_error::create(302, "a record must be a JSON object", nullptr);
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

double asDouble(const nlohmann::json& value, const char* key) {
    if (!value.is_number()) failType(key, "a number");
    return value.get<double>();
}

std::int64_t asInteger(const nlohmann::json& value, const char* key) {
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(INT64_MAX)) failType(key, "an integer in the 64-bit range");
        return static_cast<std::int64_t>(unsignedValue);
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 is exactly representable; anything at or above it does not fit.
        if (std::trunc(number) == number && number >= -9223372036854775808.0 && number < 9223372036854775808.0) {
            return static_cast<std::int64_t>(number);
        }
    }
    failType(key, "an integer");
}

bool asBool(const nlohmann::json& value, const char* key) {
    if (!value.is_boolean()) failType(key, "a boolean");
    return value.get<bool>();
}

std::string asString(const nlohmann::json& value, const char* key) {
    if (!value.is_string()) failType(key, "a string");
    return value.get<std::string>();
}

}  // namespace halvex::capturejson
