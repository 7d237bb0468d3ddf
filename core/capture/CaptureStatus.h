#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// The phases a status reports.
namespace capturephase {
inline constexpr const char* arming = "arming";
inline constexpr const char* buffering = "buffering";
inline constexpr const char* inTrade = "in-trade";
inline constexpr const char* postRoll = "post-roll";
inline constexpr const char* stalled = "stalled";
inline constexpr const char* error = "error";
inline constexpr const char* idle = "idle";
}  // namespace capturephase

// The engine's status snapshot.
struct CaptureStatus {
    std::string phase = capturephase::idle;
    std::optional<std::string> sourceId;
    std::optional<std::string> sourceName;
    std::optional<std::string> startedAt;        // ISO-8601 UTC with milliseconds
    std::optional<std::string> outputDirectory;  // file-system path
    double bufferSeconds = 0;
    double segmentSeconds = 0;
    std::int64_t fps = 0;
    std::int64_t segmentCount = 0;
    double retainedSeconds = 0;
    std::optional<std::string> activeTradeId;  // smallest id among trades not yet ended
    std::optional<std::string> message;        // last problem or recovery text
    std::int64_t framesCaptured = 0;
    std::int64_t framesDropped = 0;
    double measuredFps = 0;
    std::optional<double> lastFrameAt;
    bool stalled = false;
    std::int64_t restartCount = 0;

    bool operator==(const CaptureStatus&) const = default;

    // What is reported while no engine exists: phase "idle", zeros, nothing optional.
    static CaptureStatus idle() { return {}; }
};

nlohmann::json toJSON(const CaptureStatus& status);
// Throws nlohmann::json::exception when a required key is missing or a value has the wrong type.
CaptureStatus captureStatusFromJSON(const nlohmann::json& json);

}  // namespace halvex
