#include "core/capture/CaptureStatus.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

nlohmann::json toJSON(const CaptureStatus& status) {
    nlohmann::json json = {{"phase", status.phase},
                           {"bufferSeconds", status.bufferSeconds},
                           {"segmentSeconds", status.segmentSeconds},
                           {"fps", status.fps},
                           {"segmentCount", status.segmentCount},
                           {"retainedSeconds", status.retainedSeconds},
                           {"framesCaptured", status.framesCaptured},
                           {"framesDropped", status.framesDropped},
                           {"measuredFps", status.measuredFps},
                           {"stalled", status.stalled},
                           {"restartCount", status.restartCount}};
    halvexSetOptional(json, "sourceId", status.sourceId);
    halvexSetOptional(json, "sourceName", status.sourceName);
    halvexSetOptional(json, "startedAt", status.startedAt);
    halvexSetOptional(json, "outputDirectory", status.outputDirectory);
    halvexSetOptional(json, "activeTradeId", status.activeTradeId);
    halvexSetOptional(json, "message", status.message);
    halvexSetOptional(json, "lastFrameAt", status.lastFrameAt);
    return json;
}

CaptureStatus captureStatusFromJSON(const nlohmann::json& json) {
    using namespace strictjson;
    CaptureStatus status;
    status.phase = requiredString(json, "phase");
    status.sourceId = optionalString(json, "sourceId");
    status.sourceName = optionalString(json, "sourceName");
    status.startedAt = optionalString(json, "startedAt");
    status.outputDirectory = optionalString(json, "outputDirectory");
    status.bufferSeconds = requiredDouble(json, "bufferSeconds");
    status.segmentSeconds = requiredDouble(json, "segmentSeconds");
    status.fps = requiredInteger(json, "fps");
    status.segmentCount = requiredInteger(json, "segmentCount");
    status.retainedSeconds = requiredDouble(json, "retainedSeconds");
    status.activeTradeId = optionalString(json, "activeTradeId");
    status.message = optionalString(json, "message");
    status.framesCaptured = requiredInteger(json, "framesCaptured");
    status.framesDropped = requiredInteger(json, "framesDropped");
    status.measuredFps = requiredDouble(json, "measuredFps");
    status.lastFrameAt = optionalDouble(json, "lastFrameAt");
    status.stalled = requiredBool(json, "stalled");
    status.restartCount = requiredInteger(json, "restartCount");
    return status;
}

}  // namespace halvex
