#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/capture/CaptureRecordMode.h"

namespace halvex {

// What the engine's start needs, built and bounded by the dispatcher; never serialised.
struct StartCaptureConfiguration {
    std::string sourceType;                 // as received; resolving accepts any letter case
    std::string sourceID;                   // the source's id as listed
    std::filesystem::path outputDirectory;  // absolute, normalised; holds "segments" and "manifests"
    double bufferSeconds = 180;             // 1…3600
    double segmentSeconds = 10;             // 1…60
    std::int64_t fps = 30;                  // 1…60
    CaptureRecordMode recordMode = CaptureRecordMode::rolling;

    bool operator==(const StartCaptureConfiguration&) const = default;
};

}  // namespace halvex
