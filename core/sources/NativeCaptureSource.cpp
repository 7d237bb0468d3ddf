#include "core/sources/NativeCaptureSource.h"

#include <limits>
#include <stdexcept>

#include "core/support/JSONEncoding.h"

namespace halvex {
namespace {

const nlohmann::json& member(const nlohmann::json& json, const char* key) {
    if (!json.is_object() || !json.contains(key)) throw std::invalid_argument(std::string("missing key ") + key);
    return json.at(key);
}

[[noreturn]] void mistyped(const char* key) { throw std::invalid_argument(std::string("wrong type for ") + key); }

std::string textAt(const nlohmann::json& json, const char* key) {
    const auto& value = member(json, key);
    if (!value.is_string()) mistyped(key);
    return value.get<std::string>();
}

bool flagAt(const nlohmann::json& json, const char* key) {
    const auto& value = member(json, key);
    if (!value.is_boolean()) mistyped(key);
    return value.get<bool>();
}

double numberAt(const nlohmann::json& json, const char* key) {
    const auto& value = member(json, key);
    if (!value.is_number()) mistyped(key);
    return value.get<double>();
}

std::int64_t integerAt(const nlohmann::json& json, const char* key) {
    const auto& value = member(json, key);
    if (!value.is_number_integer()) mistyped(key);
    return value.get<std::int64_t>();
}

std::uint32_t unsigned32(const nlohmann::json& value, const char* key) {
    if (!value.is_number_integer()) mistyped(key);
    const auto number = value.get<std::int64_t>();
    if (number < 0 || number > std::numeric_limits<std::uint32_t>::max()) mistyped(key);
    return static_cast<std::uint32_t>(number);
}

}  // namespace

nlohmann::json toJSON(const NativeCaptureSource& source) {
    nlohmann::json json{{"id", source.id},
                        {"type", source.type},
                        {"name", source.name},
                        {"appName", source.appName},
                        {"bundleId", source.bundleId},
                        {"nativeId", source.nativeId},
                        {"x", source.x},
                        {"y", source.y},
                        {"width", source.width},
                        {"height", source.height},
                        {"isCapturable", source.isCapturable},
                        {"isOnScreen", source.isOnScreen},
                        {"isActive", source.isActive},
                        {"discovery", source.discovery}};
    halvexSetOptional(json, "displayId", source.displayId);
    return json;
}

NativeCaptureSource nativeCaptureSourceFromJSON(const nlohmann::json& json) {
    NativeCaptureSource source;
    source.id = textAt(json, "id");
    source.type = textAt(json, "type");
    source.name = textAt(json, "name");
    source.appName = textAt(json, "appName");
    source.bundleId = textAt(json, "bundleId");
    source.nativeId = unsigned32(member(json, "nativeId"), "nativeId");
    source.x = numberAt(json, "x");
    source.y = numberAt(json, "y");
    source.width = integerAt(json, "width");
    source.height = integerAt(json, "height");
    if (json.contains("displayId")) source.displayId = unsigned32(json.at("displayId"), "displayId");
    source.isCapturable = flagAt(json, "isCapturable");
    source.isOnScreen = flagAt(json, "isOnScreen");
    source.isActive = flagAt(json, "isActive");
    source.discovery = textAt(json, "discovery");
    return source;
}

}  // namespace halvex
