#include "core/capture/CapturePreviewFrame.h"

#include "core/support/StrictJSONFields.h"

namespace halvex {

nlohmann::json toJSON(const CapturePreviewFrame& frame) {
    return {{"sourceId", frame.sourceId},     {"width", frame.width},
            {"height", frame.height},         {"capturedAt", frame.capturedAt},
            {"frameIndex", frame.frameIndex}, {"jpegBase64", frame.jpegBase64}};
}

CapturePreviewFrame capturePreviewFrameFromJSON(const nlohmann::json& json) {
    using namespace strictjson;
    CapturePreviewFrame frame;
    frame.sourceId = requiredString(json, "sourceId");
    frame.width = requiredInteger(json, "width");
    frame.height = requiredInteger(json, "height");
    frame.capturedAt = requiredDouble(json, "capturedAt");
    frame.frameIndex = requiredInteger(json, "frameIndex");
    frame.jpegBase64 = requiredString(json, "jpegBase64");
    return frame;
}

}  // namespace halvex
