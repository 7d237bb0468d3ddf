#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// Which listing produced a source row or a whole listing. Clients compare these texts.
namespace SourceDiscovery {
inline constexpr const char* screenCapture = "screencapturekit";
inline constexpr const char* metadata = "coregraphics";
inline constexpr const char* metadataFallback = "coregraphics-fallback";
}  // namespace SourceDiscovery

namespace SourceType {
inline constexpr const char* screen = "screen";
inline constexpr const char* window = "window";
}  // namespace SourceType

// One capturable display or window as the client lists it; identity is `id`.
struct NativeCaptureSource {
    std::string id;    // "screen:{displayID}" or "window:{windowID}"
    std::string type;  // SourceType
    std::string name;
    std::string appName;
    std::string bundleId;
    std::uint32_t nativeId = 0;
    double x = 0;
    double y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::optional<std::uint32_t> displayId;
    bool isCapturable = false;
    bool isOnScreen = false;
    bool isActive = false;
    std::string discovery;

    bool operator==(const NativeCaptureSource&) const = default;
};

nlohmann::json toJSON(const NativeCaptureSource& source);
// Every key but `displayId` is required. Throws std::invalid_argument naming the first missing or
// mistyped key.
NativeCaptureSource nativeCaptureSourceFromJSON(const nlohmann::json& json);

}  // namespace halvex
