#include "core/chart/tradingview/tesseract/GreyImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>


// The per-pixel loops are written to vectorise; the project builds at -O2, where GCC does not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("tree-vectorize")
#endif

namespace halvex::tesseract {

GreyImage GreyImage::fromTextImage(const TextImage& image) {
    GreyImage grey;
    if (!image.isUsable()) return grey;
    grey.width = image.width;
    grey.height = image.height;
    grey.pixels.resize(static_cast<std::size_t>(image.width * image.height));
    for (std::int64_t y = 0; y < image.height; ++y) {
        const std::uint8_t* source = image.bytes + y * image.bytesPerRow;
        std::uint8_t* target = grey.row(y);
        if (image.format == TextImageFormat::grey) {
            std::memcpy(target, source, static_cast<std::size_t>(image.width));
            continue;
        }
        for (std::int64_t x = 0; x < image.width; ++x, source += 4) {
            // Integer weights of 0.299, 0.587, 0.114 scaled by 1024, rounded.
            target[x] = static_cast<std::uint8_t>((306u * source[0] + 601u * source[1] + 117u * source[2] + 512u) >> 10);
        }
    }
    return grey;
}

GreyImage GreyImage::cropped(const PixelBox& box) const {
    GreyImage crop;
    crop.width = box.width();
    crop.height = box.height();
    crop.pixels.resize(static_cast<std::size_t>(crop.width * crop.height));
    for (std::int64_t y = 0; y < crop.height; ++y) {
        std::memcpy(crop.row(y), row(box.minY + y) + box.minX, static_cast<std::size_t>(crop.width));
    }
    return crop;
}

GreyImage GreyImage::resized(std::int64_t newWidth, std::int64_t newHeight) const {
    GreyImage out;
    out.width = std::max<std::int64_t>(1, newWidth);
    out.height = std::max<std::int64_t>(1, newHeight);
    out.pixels.resize(static_cast<std::size_t>(out.width * out.height));
    if (width <= 0 || height <= 0) return out;
    const double scaleX = static_cast<double>(width) / static_cast<double>(out.width);
    const double scaleY = static_cast<double>(height) / static_cast<double>(out.height);
    // Precomputed column taps keep the inner loop free of divisions.
    std::vector<std::int64_t> x0s(static_cast<std::size_t>(out.width));
    std::vector<std::int32_t> fxs(static_cast<std::size_t>(out.width));
    for (std::int64_t x = 0; x < out.width; ++x) {
        const double sx = std::clamp((static_cast<double>(x) + 0.5) * scaleX - 0.5, 0.0, static_cast<double>(width - 1));
        const auto x0 = static_cast<std::int64_t>(sx);
        x0s[static_cast<std::size_t>(x)] = x0;
        fxs[static_cast<std::size_t>(x)] = static_cast<std::int32_t>((sx - static_cast<double>(x0)) * 256.0);
    }
    for (std::int64_t y = 0; y < out.height; ++y) {
        const double sy = std::clamp((static_cast<double>(y) + 0.5) * scaleY - 0.5, 0.0, static_cast<double>(height - 1));
        const auto y0 = static_cast<std::int64_t>(sy);
        const std::int64_t y1 = std::min(y0 + 1, height - 1);
        const auto fy = static_cast<std::int32_t>((sy - static_cast<double>(y0)) * 256.0);
        const std::uint8_t* top = row(y0);
        const std::uint8_t* bottom = row(y1);
        std::uint8_t* target = out.row(y);
        for (std::int64_t x = 0; x < out.width; ++x) {
            const std::int64_t xa = x0s[static_cast<std::size_t>(x)];
            const std::int64_t xb = std::min(xa + 1, width - 1);
            const std::int32_t fx = fxs[static_cast<std::size_t>(x)];
            const std::int32_t upper = top[xa] * (256 - fx) + top[xb] * fx;
            const std::int32_t lower = bottom[xa] * (256 - fx) + bottom[xb] * fx;
            target[x] = static_cast<std::uint8_t>((upper * (256 - fy) + lower * fy + 32768) >> 16);
        }
    }
    return out;
}

GreyImage GreyImage::padded(std::int64_t margin, std::uint8_t fill) const {
    GreyImage out;
    out.width = width + 2 * margin;
    out.height = height + 2 * margin;
    out.pixels.assign(static_cast<std::size_t>(out.width * out.height), fill);
    for (std::int64_t y = 0; y < height; ++y) {
        std::memcpy(out.row(y + margin) + margin, row(y), static_cast<std::size_t>(width));
    }
    return out;
}

}  // namespace halvex::tesseract
