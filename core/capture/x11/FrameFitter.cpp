#include "core/capture/x11/FrameFitter.h"

#include <algorithm>
#include <cstring>

namespace halvex::x11 {
namespace {

constexpr std::uint64_t opaquePair = 0xFF000000FF000000ull;

// Copies `count` pixels and sets their alpha bytes, two pixels a step; `in` may equal `out`.
void copyOpaque(const std::uint8_t* in, std::uint8_t* out, int count) {
    int x = 0;
    for (; x + 2 <= count; x += 2) {
        std::uint64_t pair;
        std::memcpy(&pair, in + x * 4, 8);
        pair |= opaquePair;
        std::memcpy(out + x * 4, &pair, 8);
    }
    if (x < count) {
        std::memmove(out + x * 4, in + x * 4, 3);
        out[x * 4 + 3] = 0xFF;
    }
}

void fillOpaqueBlack(std::uint8_t* out, int count) {
    for (int x = 0; x < count; ++x) {
        out[x * 4 + 0] = 0;
        out[x * 4 + 1] = 0;
        out[x * 4 + 2] = 0;
        out[x * 4 + 3] = 0xFF;
    }
}

}  // namespace

void FrameFitter::paintBorder(PixelBuffer& destination, const FittedPlacement& placement) {
    const int width = destination.width();
    for (int y = 0; y < destination.height(); ++y) {
        std::uint8_t* row = destination.row(y);
        if (y < placement.y || y >= placement.y + placement.height) {
            fillOpaqueBlack(row, width);
            continue;
        }
        fillOpaqueBlack(row, placement.x);
        const int right = placement.x + placement.width;
        fillOpaqueBlack(row + static_cast<std::size_t>(right) * 4, width - right);
    }
}

bool FrameFitter::fit(X11PixelView& source, PixelBuffer& destination) {
    if (!source || source.width <= 0 || source.height <= 0) return false;
    const int extraWidth = source.width - destination.width();
    const int extraHeight = source.height - destination.height();
    // The output size is the source's rounded down to even numbers, so a source one pixel wider or
    // taller is common: its last column or row is left out rather than the frame resampled.
    if (extraWidth >= 0 && extraWidth <= 1 && extraHeight >= 0 && extraHeight <= 1) {
        for (int y = 0; y < destination.height(); ++y) {
            copyOpaque(source.pixels + static_cast<std::size_t>(y) * source.bytesPerRow, destination.row(y),
                       destination.width());
        }
        placements_[&destination] = {0, 0, destination.width(), destination.height()};
        return true;
    }
    const auto placement = BGRAScaler::placement(source.width, source.height, destination.width(), destination.height());
    if (placement.width <= 0 || placement.height <= 0) return false;
    const auto known = placements_.find(&destination);
    if (known == placements_.end() || !(known->second == placement)) {
        paintBorder(destination, placement);
        placements_[&destination] = placement;
    }
    // The scaler keeps the source's alpha, and the server leaves the fourth byte undefined: set it
    // on whichever side has fewer pixels.
    const bool opaqueAfter = static_cast<std::int64_t>(placement.width) * placement.height <
                             static_cast<std::int64_t>(source.width) * source.height;
    if (!opaqueAfter) {
        for (int y = 0; y < source.height; ++y) {
            std::uint8_t* row = source.pixels + static_cast<std::size_t>(y) * source.bytesPerRow;
            copyOpaque(row, row, source.width);
        }
    }
    if (!scaler_.scale(source.pixels, source.width, source.height, source.bytesPerRow, destination, placement)) {
        placements_.erase(&destination);
        return false;
    }
    if (opaqueAfter) {
        for (int y = placement.y; y < placement.y + placement.height; ++y) {
            std::uint8_t* row = destination.row(y) + static_cast<std::size_t>(placement.x) * 4;
            copyOpaque(row, row, placement.width);
        }
    }
    return true;
}

}  // namespace halvex::x11
