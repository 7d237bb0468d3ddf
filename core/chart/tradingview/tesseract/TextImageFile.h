#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/chart/tradingview/TextRecognizer.h"

namespace halvex::tesseract {

// An image file decoded into RGBX bytes (R, G, B, 255; no row padding), for the command-line
// reader, tests and benchmarks.
struct TextImageFile {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> rgbx;

    // A view of the pixels, valid while this object lives.
    TextImage view() const { return {rgbx.data(), width, height, width * 4, TextImageFormat::rgbx}; }

    // Decodes the file with Leptonica (PNG, JPEG, TIFF, BMP, PNM, ...). Throws PlatformError when
    // the file is missing or cannot be decoded.
    static TextImageFile read(const std::string& path);
};

}  // namespace halvex::tesseract
