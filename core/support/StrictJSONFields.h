#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// Strict field readers shared by every record decoder (capture records, manifests, chart records).
// nlohmann's own get<> converts quietly (a float into an integer field, a bool into a number), which
// would let a damaged manifest or record decode into a different value, so decoders read through
// these instead: a missing required key, a wrong JSON type or an unknown raw value throws
// nlohmann::json::exception, naming the key. An optional key that is absent or null reads as absent.
namespace halvex::strictjson {

[[noreturn]] void failType(const char* key, const std::string& expected);
[[noreturn]] void failUnknownRawValue(const char* key, const std::string& value);

// The value under `key`; throws when `object` is not an object or the key is missing.
const nlohmann::json& required(const nlohmann::json& object, const char* key);
// The value under `key`, or nullptr when the key is missing or null.
const nlohmann::json* optional(const nlohmann::json& object, const char* key);

double asDouble(const nlohmann::json& value, const char* key);
// Integers, or floats with an exact integral value inside the signed 64-bit range.
std::int64_t asInteger(const nlohmann::json& value, const char* key);
bool asBool(const nlohmann::json& value, const char* key);
std::string asString(const nlohmann::json& value, const char* key);
std::vector<std::string> asStrings(const nlohmann::json& value, const char* key);

inline double requiredDouble(const nlohmann::json& o, const char* key) { return asDouble(required(o, key), key); }
inline std::int64_t requiredInteger(const nlohmann::json& o, const char* key) {
    return asInteger(required(o, key), key);
}
inline bool requiredBool(const nlohmann::json& o, const char* key) { return asBool(required(o, key), key); }
inline std::string requiredString(const nlohmann::json& o, const char* key) { return asString(required(o, key), key); }
inline std::vector<std::string> requiredStrings(const nlohmann::json& o, const char* key) {
    return asStrings(required(o, key), key);
}

inline std::optional<double> optionalDouble(const nlohmann::json& o, const char* key) {
    if (const auto* v = optional(o, key)) return asDouble(*v, key);
    return std::nullopt;
}
inline std::optional<std::int64_t> optionalInteger(const nlohmann::json& o, const char* key) {
    if (const auto* v = optional(o, key)) return asInteger(*v, key);
    return std::nullopt;
}
inline std::optional<std::string> optionalString(const nlohmann::json& o, const char* key) {
    if (const auto* v = optional(o, key)) return asString(*v, key);
    return std::nullopt;
}

// A nested record decoded by `decode(const json&)`.
template <typename Decode>
auto requiredRecord(const nlohmann::json& o, const char* key, Decode decode) {
    return decode(required(o, key));
}
template <typename Decode>
auto optionalRecord(const nlohmann::json& o, const char* key, Decode decode)
    -> std::optional<decltype(decode(o))> {
    if (const auto* v = optional(o, key)) return decode(*v);
    return std::nullopt;
}

// An array of nested records.
template <typename Decode>
auto requiredArray(const nlohmann::json& o, const char* key, Decode decode) {
    const auto& value = required(o, key);
    if (!value.is_array()) failType(key, "array");
    std::vector<decltype(decode(value))> result;
    result.reserve(value.size());
    for (const auto& element : value) result.push_back(decode(element));
    return result;
}

// An enumeration written as its raw value; `parse(text)` returns std::optional of the enumeration.
template <typename Parse>
auto requiredEnum(const nlohmann::json& o, const char* key, Parse parse) {
    const std::string text = requiredString(o, key);
    auto parsed = parse(text);
    if (!parsed) failUnknownRawValue(key, text);
    return *parsed;
}
template <typename Parse>
auto optionalEnum(const nlohmann::json& o, const char* key, Parse parse) -> decltype(parse(std::string())) {
    const auto text = optionalString(o, key);
    if (!text) return std::nullopt;
    auto parsed = parse(*text);
    if (!parsed) failUnknownRawValue(key, *text);
    return parsed;
}

// Writes each element's toJSON into an array.
template <typename T>
nlohmann::json arrayJSON(const std::vector<T>& values) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& value : values) array.push_back(toJSON(value));
    return array;
}

// Writes a nested optional record only when present.
template <typename T>
void setOptionalRecord(nlohmann::json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = toJSON(*value);
}

}  // namespace halvex::strictjson
