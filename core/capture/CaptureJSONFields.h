#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// Strict field readers for the capture records' decoders. nlohmann's get<> converts quietly (a bool
// into a number, 12.5 into an integer), which would let a damaged manifest or status decode into
// a different record; these throw nlohmann::json::exception instead, naming the key, when a
// required key is missing or any value has the wrong JSON type. An optional key that is absent or
// null reads as absent.
namespace halvex::capturejson {

const nlohmann::json& required(const nlohmann::json& object, const char* key);
const nlohmann::json* optional(const nlohmann::json& object, const char* key);

double asDouble(const nlohmann::json& value, const char* key);
// Integers, or floats with an exact integral value inside the signed 64-bit range.
std::int64_t asInteger(const nlohmann::json& value, const char* key);
bool asBool(const nlohmann::json& value, const char* key);
std::string asString(const nlohmann::json& value, const char* key);

inline double requiredDouble(const nlohmann::json& o, const char* key) { return asDouble(required(o, key), key); }
inline std::int64_t requiredInteger(const nlohmann::json& o, const char* key) {
    return asInteger(required(o, key), key);
}
inline bool requiredBool(const nlohmann::json& o, const char* key) { return asBool(required(o, key), key); }
inline std::string requiredString(const nlohmann::json& o, const char* key) { return asString(required(o, key), key); }

inline std::optional<double> optionalDouble(const nlohmann::json& o, const char* key) {
    if (const auto* value = optional(o, key)) return asDouble(*value, key);
    return std::nullopt;
}
inline std::optional<std::string> optionalString(const nlohmann::json& o, const char* key) {
    if (const auto* value = optional(o, key)) return asString(*value, key);
    return std::nullopt;
}

// The array under `key`, each element decoded by `decode(const json&)`.
template <typename Decode>
auto requiredArray(const nlohmann::json& o, const char* key, Decode decode) {
    const auto& value = required(o, key);
    if (!value.is_array()) {
        throw nlohmann::json::type_error::create(302, std::string("\"") + key + "\" must be an array", nullptr);
    }
    std::vector<decltype(decode(value))> result;
    result.reserve(value.size());
    for (const auto& element : value) result.push_back(decode(element));
    return result;
}

}  // namespace halvex::capturejson
