#pragma once

#include <cstdint>
#include <optional>

#include "core/chart/pixels/GreyBitmap.h"

namespace halvex {

// Redraws a grey bitmap at another size. Magnifying a label crop is image drawing, which belongs to
// the imaging backend; the pixel analyses only decide what to crop and how large to draw it.
class GreyBitmapScaler {
public:
    virtual ~GreyBitmapScaler() = default;

    // Returns `source` drawn at exactly `width` × `height` with smooth (high-quality) interpolation, or
    // nothing when `source` is not a valid bitmap, a size is not positive, or drawing fails. Runs on
    // the caller's thread and keeps no reference to `source`.
    virtual std::optional<GreyBitmap> scaled(const GreyBitmap& source, std::int64_t width, std::int64_t height) const = 0;
};

}  // namespace halvex
