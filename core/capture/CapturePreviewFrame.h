#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// One preview image of the recorded source.
struct CapturePreviewFrame {
    std::string sourceId;
    std::int64_t width = 0;   // of the JPEG
    std::int64_t height = 0;  // of the JPEG
    double capturedAt = 0;    // epoch time of the frame it shows
    std::int64_t frameIndex = 0;  // 1 for an engine's first preview, then counting up
    std::string jpegBase64;   // standard Base64, no line breaks

    bool operator==(const CapturePreviewFrame&) const = default;
};

nlohmann::json toJSON(const CapturePreviewFrame& frame);
// Every key is required. Throws nlohmann::json::exception when one is missing or has the wrong type.
CapturePreviewFrame capturePreviewFrameFromJSON(const nlohmann::json& json);

}  // namespace halvex
