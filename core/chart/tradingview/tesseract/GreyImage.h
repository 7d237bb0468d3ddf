#pragma once

#include <cstdint>
#include <vector>

#include "core/chart/tradingview/TextRecognizer.h"

namespace halvex::tesseract {

// Pixel bounds in an image: columns from the left, rows from the top, maxima exclusive.
struct PixelBox {
    std::int64_t minX = 0;
    std::int64_t minY = 0;
    std::int64_t maxX = 0;
    std::int64_t maxY = 0;

    bool operator==(const PixelBox&) const = default;

    std::int64_t width() const { return maxX - minX; }
    std::int64_t height() const { return maxY - minY; }
};

// An owned 8-bit grey image without row padding.
struct GreyImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> pixels;

    bool operator==(const GreyImage&) const = default;

    std::uint8_t at(std::int64_t x, std::int64_t y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    const std::uint8_t* row(std::int64_t y) const { return pixels.data() + y * width; }
    std::uint8_t* row(std::int64_t y) { return pixels.data() + y * width; }

    // Luminance (0.299 R + 0.587 G + 0.114 B) of an RGBX view, or a copy of a grey one.
    static GreyImage fromTextImage(const TextImage& image);
    // The pixels of `box` (which must lie inside this image).
    GreyImage cropped(const PixelBox& box) const;
    // Bilinear resampling to `newWidth` × `newHeight` (each at least 1).
    GreyImage resized(std::int64_t newWidth, std::int64_t newHeight) const;
    // This image centred on a white canvas `margin` pixels wider on every side.
    GreyImage padded(std::int64_t margin, std::uint8_t fill = 255) const;
};

}  // namespace halvex::tesseract
