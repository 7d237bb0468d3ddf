#include "core/chart/pixels/FakeGreyBitmapScaler.h"

namespace halvex {

std::optional<GreyBitmap> FakeGreyBitmapScaler::scaled(const GreyBitmap& source, std::int64_t width,
                                                       std::int64_t height) const {
    ++calls_;
    lastWidth_ = width;
    lastHeight_ = height;
    if (failing_ || !source.isValid() || width <= 0 || height <= 0) return std::nullopt;
    GreyBitmap result{width, height, {}};
    result.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::size_t index = 0;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t sourceY = y * source.height / height;
        for (std::int64_t x = 0; x < width; ++x) {
            result.pixels[index++] = source.at(x * source.width / width, sourceY);
        }
    }
    return result;
}

}  // namespace halvex
