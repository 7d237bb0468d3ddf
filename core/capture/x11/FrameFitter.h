#pragma once

#include <map>

#include "core/capture/PixelBuffer.h"
#include "core/imaging/BGRAScaler.h"
#include "core/sources/x11/X11ImageReader.h"

namespace halvex::x11 {

// Puts one captured frame into an output buffer of the stream's size, every pixel opaque: copied
// when the sizes match (a source at most one pixel wider or taller loses its last column or row),
// else scaled to fit with its aspect kept and centred on black. The black
// border is painted only when the placement differs from what that buffer last received, so a
// pool's buffers cost nothing extra after their first letterboxed frame. Buffers are known by
// address, so one fitter serves one pool. Used by one thread.
class FrameFitter {
public:
    // Fits `source` into `destination`. May force the source's fourth bytes opaque first. False
    // when either is empty or the scaler fails; `destination` is then unspecified.
    bool fit(X11PixelView& source, PixelBuffer& destination);

private:
    void paintBorder(PixelBuffer& destination, const FittedPlacement& placement);

    BGRAScaler scaler_;
    // The placement each buffer holds (buffers are pooled, so the keys stay few).
    std::map<const PixelBuffer*, FittedPlacement> placements_;
};

}  // namespace halvex::x11
