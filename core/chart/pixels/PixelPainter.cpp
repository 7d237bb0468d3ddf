#include "core/chart/pixels/PixelPainter.h"

#include <algorithm>

namespace halvex {

namespace {

// A small deterministic generator; the painter must draw the same picture on every platform.
class StrokeRandom {
public:
    explicit StrokeRandom(std::uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::int64_t below(std::int64_t bound) { return bound <= 0 ? 0 : static_cast<std::int64_t>(next() % static_cast<std::uint32_t>(bound)); }

private:
    std::uint32_t state_;
};

}  // namespace

PixelFrame PixelPainter::blankFrame(std::int64_t width, std::int64_t height, Color background,
                                    PixelFrame::ChannelOrder order) {
    PixelFrame frame;
    frame.width = std::max<std::int64_t>(width, 0);
    frame.height = std::max<std::int64_t>(height, 0);
    frame.channelOrder = order;
    frame.rgba.resize(static_cast<std::size_t>(frame.width * frame.height * 4));
    PixelPainter(frame).fill(background);
    return frame;
}

void PixelPainter::setPixel(std::int64_t x, std::int64_t y, Color color) {
    if (x < 0 || y < 0 || x >= frame_.width || y >= frame_.height) return;
    const auto offset = (static_cast<std::size_t>(y) * static_cast<std::size_t>(frame_.width) + static_cast<std::size_t>(x)) * 4;
    if (offset + 4 > frame_.rgba.size()) return;
    std::uint8_t* p = frame_.rgba.data() + offset;
    const bool bgra = frame_.channelOrder == PixelFrame::ChannelOrder::bgra;
    p[0] = bgra ? color.blue : color.red;
    p[1] = color.green;
    p[2] = bgra ? color.red : color.blue;
    p[3] = 255;
}

void PixelPainter::fill(Color color) { fillRect({0, 0, frame_.width, frame_.height}, color); }

void PixelPainter::fillRect(const PixelFrame::PixelBounds& bounds, Color color) {
    const std::int64_t minX = std::max<std::int64_t>(bounds.minX, 0);
    const std::int64_t maxX = std::min(bounds.maxX, frame_.width);
    for (std::int64_t y = std::max<std::int64_t>(bounds.minY, 0); y < std::min(bounds.maxY, frame_.height); ++y) {
        for (std::int64_t x = minX; x < maxX; ++x) setPixel(x, y, color);
    }
}

void PixelPainter::strokeRect(const PixelFrame::PixelBounds& bounds, Color color, std::int64_t thickness) {
    const std::int64_t t = std::max<std::int64_t>(thickness, 1);
    fillRect({bounds.minX, bounds.minY, bounds.maxX, std::min(bounds.maxY, bounds.minY + t)}, color);
    fillRect({bounds.minX, std::max(bounds.minY, bounds.maxY - t), bounds.maxX, bounds.maxY}, color);
    fillRect({bounds.minX, bounds.minY, std::min(bounds.maxX, bounds.minX + t), bounds.maxY}, color);
    fillRect({std::max(bounds.minX, bounds.maxX - t), bounds.minY, bounds.maxX, bounds.maxY}, color);
}

void PixelPainter::verticalDivider(std::int64_t x, std::int64_t thickness, Color color) {
    fillRect({x, 0, x + thickness, frame_.height}, color);
}

void PixelPainter::horizontalLine(std::int64_t row, std::int64_t minX, std::int64_t maxX, Color color,
                                  std::int64_t thickness, LineStyle style, std::int64_t dash, std::int64_t gap) {
    const std::int64_t on = style == LineStyle::dotted ? 1 : std::max<std::int64_t>(dash, 1);
    const std::int64_t off = style == LineStyle::dotted ? 1 : std::max<std::int64_t>(gap, 0);
    for (std::int64_t x = minX; x < maxX; ++x) {
        if (style != LineStyle::solid && (x - minX) % (on + off) >= on) continue;
        for (std::int64_t y = row; y < row + thickness; ++y) setPixel(x, y, color);
    }
}

void PixelPainter::textNoise(const PixelFrame::PixelBounds& bounds, Color ink, std::uint32_t seed, double density) {
    if (!bounds.hasArea()) return;
    StrokeRandom random(seed);
    const std::int64_t glyphHeight = bounds.height();
    const std::int64_t glyphWidth = std::max<std::int64_t>(3, glyphHeight * 6 / 10);
    const double share = std::clamp(density, 0.0, 1.0);
    for (std::int64_t glyphX = bounds.minX; glyphX + 2 <= bounds.maxX; glyphX += glyphWidth + 1) {
        const std::int64_t glyphMaxX = std::min(glyphX + glyphWidth, bounds.maxX);
        const auto strokes = static_cast<std::int64_t>(share * static_cast<double>(glyphMaxX - glyphX) * 1.5) + 1;
        for (std::int64_t s = 0; s < strokes; ++s) {
            if (random.below(2) == 0) {
                // An upright stroke of a glyph.
                const std::int64_t x = glyphX + random.below(glyphMaxX - glyphX);
                const std::int64_t top = bounds.minY + random.below(std::max<std::int64_t>(1, glyphHeight / 3));
                const std::int64_t bottom = bounds.maxY - random.below(std::max<std::int64_t>(1, glyphHeight / 3));
                for (std::int64_t y = top; y < bottom; ++y) setPixel(x, y, ink);
            } else {
                // A crossbar.
                const std::int64_t y = bounds.minY + random.below(glyphHeight);
                for (std::int64_t x = glyphX; x < glyphMaxX; ++x) setPixel(x, y, ink);
            }
        }
    }
}

void PixelPainter::badge(const PixelFrame::PixelBounds& bounds, Color fill, Color ink, std::uint32_t seed) {
    fillRect(bounds, fill);
    // Digits sit in the middle of the badge, drawn sparsely so the fill stays the dominant colour.
    const std::int64_t insetX = std::max<std::int64_t>(1, bounds.width() / 4);
    const std::int64_t insetY = std::max<std::int64_t>(1, bounds.height() * 3 / 8);
    textNoise({bounds.minX + insetX, bounds.minY + insetY, bounds.maxX - insetX, bounds.maxY - insetY}, ink, seed, 0.15);
}

}  // namespace halvex
