#include "helper/commands/CaptureCommands.h"

#include <filesystem>
#include <system_error>

#include "core/capture/CaptureRecordMode.h"
#include "core/support/Base64.h"
#include "core/support/HalvexNativeError.h"
#include "helper/protocol/HelperRecords.h"

namespace halvex {

nlohmann::json toJSON(const TradeCommandResult& result) {
    return {{"status", toJSON(result.status)}, {"manifest", toJSON(result.manifest)}};
}

namespace CaptureCommands {
namespace {

namespace Message {
constexpr const char* bufferSecondsRange = "bufferSeconds must be between 1 and 3600.";
constexpr const char* segmentSecondsRange = "segmentSeconds must be between 1 and 60.";
constexpr const char* fpsRange = "fps must be between 1 and 60.";
constexpr const char* preRollNegative = "preRollSeconds cannot be negative.";
constexpr const char* postRollNegative = "postRollSeconds cannot be negative.";
constexpr const char* noFrameYet = "No frame has been captured yet. Start capture and wait for the preview to update.";
}  // namespace Message

constexpr double defaultBufferSeconds = 180;
constexpr double defaultSegmentSeconds = 10;
constexpr double defaultFps = 30;
constexpr double defaultPreRollSeconds = 120;
constexpr double defaultPostRollSeconds = 30;
constexpr const char* diagnosticSourceId = "capture";

// An absolute path without "." and ".." components or a trailing separator.
std::filesystem::path standardisedDirectory(const std::string& text) {
    std::error_code ignored;
    auto path = std::filesystem::absolute(text, ignored).lexically_normal();
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
    return path;
}

TradeCommandResult asCommandResult(CaptureEngine::TradeResult result) {
    return {std::move(result.status), std::move(result.manifest)};
}

}  // namespace

StartCaptureConfiguration startConfiguration(const Payload& payload) {
    StartCaptureConfiguration configuration;
    configuration.sourceType = payload.requiredString("sourceType");
    configuration.sourceID = payload.requiredString("sourceId");
    const auto outputDirectory = payload.requiredString("outputDirectory");
    configuration.bufferSeconds = payload.number("bufferSeconds", defaultBufferSeconds);
    configuration.segmentSeconds = payload.number("segmentSeconds", defaultSegmentSeconds);
    const double fps = payload.number("fps", defaultFps);
    configuration.recordMode =
        parseCaptureRecordModeStrict(payload.string("recordMode", rawValue(CaptureRecordMode::rolling)));

    if (!(configuration.bufferSeconds >= 1 && configuration.bufferSeconds <= 3600)) {
        throw HalvexNativeError::invalidPayload(Message::bufferSecondsRange);
    }
    if (!(configuration.segmentSeconds >= 1 && configuration.segmentSeconds <= 60)) {
        throw HalvexNativeError::invalidPayload(Message::segmentSecondsRange);
    }
    configuration.fps = roundedIntegerInRange(fps, 1, 60, Message::fpsRange);
    configuration.outputDirectory = standardisedDirectory(outputDirectory);
    return configuration;
}

nlohmann::json diagnosticFrame(CaptureEngine& engine) {
    const auto jpeg = engine.captureDiagnosticFrame();
    if (!jpeg) throw HalvexNativeError::invalidPayload(Message::noFrameYet);
    return toJSON(ThumbnailResult{diagnosticSourceId, halvexBase64Encode(*jpeg)});
}

nlohmann::json setPreviewEnabled(CaptureEngine& engine, const Payload& payload) {
    // Only a real boolean can turn previews off; any other value (even the text "false") means on.
    const JSONValue* value = payload.find("enabled");
    const bool enabled = value && value->boolean() ? *value->boolean() : true;
    engine.setPreviewEnabled(enabled);
    return {{"enabled", enabled}};
}

nlohmann::json markTrade(CaptureEngine& engine, const Payload& payload) {
    const auto sessionId = payload.requiredString("sessionId");
    const double occurredAt = payload.epochSeconds("occurredAt");
    const double preRoll = payload.number("preRollSeconds", defaultPreRollSeconds);
    if (preRoll < 0) throw HalvexNativeError::invalidPayload(Message::preRollNegative);
    return toJSON(asCommandResult(engine.markTrade(sessionId, occurredAt, preRoll)));
}

nlohmann::json endTrade(CaptureEngine& engine, const Payload& payload) {
    const auto sessionId = payload.requiredString("sessionId");
    const double occurredAt = payload.epochSeconds("occurredAt");
    const double postRoll = payload.number("postRollSeconds", defaultPostRollSeconds);
    if (postRoll < 0) throw HalvexNativeError::invalidPayload(Message::postRollNegative);
    return toJSON(asCommandResult(engine.endTrade(sessionId, occurredAt, postRoll)));
}

nlohmann::json releaseTrade(CaptureEngine& engine, const Payload& payload) {
    const auto sessionId = payload.requiredString("sessionId");
    return {{"released", engine.releaseTrade(sessionId)}};
}

}  // namespace CaptureCommands
}  // namespace halvex
