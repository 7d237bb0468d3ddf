#include "core/support/StrictJSONFields.h"

#include <cmath>

namespace halvex::strictjson {

void failType(const char* key, const std::string& expected) {
    throw nlohmann::json::type_error::create(302, std::string("key '") + key + "' must be " + expected, nullptr);
}

void failUnknownRawValue(const char* key, const std::string& value) {
    throw nlohmann::json::type_error::create(302, std::string("key '") + key + "' has unknown value '" + value + "'",
                                             nullptr);
}

const nlohmann::json& required(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) failType(key, "inside an object");
    const auto found = object.find(key);
    if (found == object.end()) {
        throw nlohmann::json::out_of_range::create(403, std::string("key '") + key + "' not found", nullptr);
    }
    return *found;
}

const nlohmann::json* optional(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) failType(key, "inside an object");
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

double asDouble(const nlohmann::json& value, const char* key) {
    if (!value.is_number()) failType(key, "a number");
    return value.get<double>();
}

std::int64_t asInteger(const nlohmann::json& value, const char* key) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
            failType(key, "a signed 64-bit integer");
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 itself is out of range; every double below it converts exactly.
        if (std::isfinite(number) && number == std::trunc(number) && number >= -9223372036854775808.0 &&
            number < 9223372036854775808.0) {
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

std::vector<std::string> asStrings(const nlohmann::json& value, const char* key) {
    if (!value.is_array()) failType(key, "an array of strings");
    std::vector<std::string> result;
    result.reserve(value.size());
    for (const auto& element : value) result.push_back(asString(element, key));
    return result;
}

}  // namespace halvex::strictjson
