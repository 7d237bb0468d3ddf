#pragma once

#include <vector>

#include "core/chart/tradingview/tesseract/GreyImage.h"

namespace halvex::tesseract {

// One text line cut out of a region, ready for single-line recognition: dark text on a white
// canvas, enlarged (or reduced) so its x-height is near 20 pixels.
struct TextLineCrop {
    PixelBox box;     // the line's ink in the source image, one pixel of margin around it
    GreyImage image;  // the recogniser's input

    bool operator==(const TextLineCrop&) const = default;

    // Dark-on-light version of `region` of `grey`: each pixel becomes its distance from the local
    // background (the median over a window about half the region's height wide), so white digits
    // on a blue badge and green digits on a white box both come out black on white. Borders that
    // span the region are whitened.
    static GreyImage normalizedRegion(const GreyImage& grey, const PixelBox& region);

    // The lines of `region`: its normalised pixels split at ink-free rows, each band trimmed to its
    // ink and scaled. A region without ink yields nothing.
    static std::vector<TextLineCrop> linesOf(const GreyImage& grey, const PixelBox& region);
};

}  // namespace halvex::tesseract
