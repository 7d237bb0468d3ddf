#include "core/imaging/BGRAScaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halvex {

BGRAScaler::~BGRAScaler() { sws_freeContext(context_); }

FittedPlacement BGRAScaler::placement(int sourceWidth, int sourceHeight, int width, int height) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) return {};
    const double factor = std::min(static_cast<double>(width) / sourceWidth, static_cast<double>(height) / sourceHeight);
    const int fittedWidth = std::clamp(static_cast<int>(std::lround(sourceWidth * factor)), 1, width);
    const int fittedHeight = std::clamp(static_cast<int>(std::lround(sourceHeight * factor)), 1, height);
    return {(width - fittedWidth) / 2, (height - fittedHeight) / 2, fittedWidth, fittedHeight};
}

bool BGRAScaler::scale(const std::uint8_t* pixels, int width, int height, std::size_t bytesPerRow,
                       PixelBuffer& destination, const FittedPlacement& target) {
    if (!pixels || width <= 0 || height <= 0 || target.width <= 0 || target.height <= 0 || target.x < 0 ||
        target.y < 0 || target.x + target.width > destination.width() ||
        target.y + target.height > destination.height()) {
        return false;
    }
    std::uint8_t* output = destination.row(target.y) + static_cast<std::size_t>(target.x) * 4;
    if (width == target.width && height == target.height) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(output + static_cast<std::size_t>(y) * destination.bytesPerRow(),
                        pixels + static_cast<std::size_t>(y) * bytesPerRow, static_cast<std::size_t>(width) * 4);
        }
        return true;
    }
    const bool shrinking = target.width <= width && target.height <= height;
    context_ = sws_getCachedContext(context_, width, height, AV_PIX_FMT_BGRA, target.width, target.height,
                                    AV_PIX_FMT_BGRA, shrinking ? SWS_AREA : SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context_) return false;
    const std::uint8_t* sourcePlanes[4] = {pixels, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {static_cast<int>(bytesPerRow), 0, 0, 0};
    std::uint8_t* targetPlanes[4] = {output, nullptr, nullptr, nullptr};
    const int targetStrides[4] = {static_cast<int>(destination.bytesPerRow()), 0, 0, 0};
    return sws_scale(context_, sourcePlanes, sourceStrides, 0, height, targetPlanes, targetStrides) == target.height;
}

std::shared_ptr<PixelBuffer> BGRAScaler::scaled(const PixelBuffer& source, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    auto image = PixelBuffer::create(width, height);
    if (!scale(source.data(), source.width(), source.height(), source.bytesPerRow(), *image, {0, 0, width, height})) {
        return nullptr;
    }
    return image;
}

std::shared_ptr<PixelBuffer> BGRAScaler::fitted(const PixelBuffer& source, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    auto image = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image->row(y);
        for (int x = 0; x < width; ++x) row[x * 4 + 3] = 0xFF;
    }
    const auto target = placement(source.width(), source.height(), width, height);
    if (!scale(source.data(), source.width(), source.height(), source.bytesPerRow(), *image, target)) return nullptr;
    return image;
}

}  // namespace halvex
