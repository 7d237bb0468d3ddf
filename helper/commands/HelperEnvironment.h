#pragma once

#include <memory>
#include <string>

#include "core/capture/SegmentEncoder.h"
#include "core/capture/engine/CaptureStream.h"
#include "core/sources/SourceCatalog.h"
#include "core/support/NativePermissions.h"

namespace halvex {

// What the dispatcher's commands need from the process around them; tests pass fakes.
struct HelperEnvironment {
    std::shared_ptr<NativePermissions> permissions;
    // The first command-line argument: the executable path's fallback.
    std::string firstArgument;
    // The capturable displays and windows; absent in tests that do not list sources.
    std::shared_ptr<SourceCatalog> sources;
    // Where a recording gets its frames and its encoders; absent where recording cannot run.
    std::shared_ptr<CaptureStreamFactory> captureStreams;
    SegmentEncoderFactory segmentEncoders;
};

}  // namespace halvex
