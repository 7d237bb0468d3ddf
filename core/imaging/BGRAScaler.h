#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/capture/PixelBuffer.h"

struct SwsContext;

namespace halvex {

// The placement of an image scaled into a box with its aspect ratio kept, centred.
struct FittedPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const FittedPlacement&) const = default;
};

// Resamples BGRA pixels (libswscale): area averaging when shrinking, bilinear when enlarging. One
// scaler keeps its resampling context between calls of the same sizes, so a preview loop reuses
// it; a scaler is used by one thread at a time.
class BGRAScaler {
public:
    BGRAScaler() = default;
    ~BGRAScaler();
    BGRAScaler(const BGRAScaler&) = delete;
    BGRAScaler& operator=(const BGRAScaler&) = delete;

    // Scales the `width` x `height` BGRA pixels at `pixels` (rows `bytesPerRow` apart) onto the
    // rectangle `target` of `destination`. False when a size is not positive, the rectangle leaves
    // the destination, or the resampler cannot be set up.
    bool scale(const std::uint8_t* pixels, int width, int height, std::size_t bytesPerRow, PixelBuffer& destination,
               const FittedPlacement& target);

    // A new `width` x `height` image of `source`, stretched; null on failure.
    std::shared_ptr<PixelBuffer> scaled(const PixelBuffer& source, int width, int height);

    // A new `width` x `height` image with `source` scaled to fit, centred, the rest opaque black;
    // null on failure.
    std::shared_ptr<PixelBuffer> fitted(const PixelBuffer& source, int width, int height);

    // Where a `sourceWidth` x `sourceHeight` image lands when fitted into `width` x `height`.
    static FittedPlacement placement(int sourceWidth, int sourceHeight, int width, int height);

private:
    SwsContext* context_ = nullptr;
};

}  // namespace halvex
