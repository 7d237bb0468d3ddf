#pragma once

#include <memory>

#include "core/capture/MediaTime.h"
#include "core/capture/PixelBuffer.h"

namespace halvex {

// One video sample as the capture stream hands it on: the frame's pixels (shared, never copied on
// the way to the writer), its presentation time on the source's clock, and whether the source
// reported it as a complete frame (idle or blank frames carry no new pixels and are not written).
struct SampleBuffer {
    std::shared_ptr<const PixelBuffer> pixelBuffer;
    MediaTime presentationTime;
    bool isComplete = true;

    bool operator==(const SampleBuffer&) const = default;
};

}  // namespace halvex
