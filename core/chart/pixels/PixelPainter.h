#pragma once

#include <cstdint>

#include "core/chart/pixels/PixelFrame.h"

namespace halvex {

// Draws chart-like pictures into a PixelFrame for tests, demos and benchmarks: flat backgrounds,
// pane dividers, filled badges, thin position lines, bars and text-like noise, honouring the
// frame's channel order. Everything is clipped to the frame and deterministic.
class PixelPainter {
public:
    struct Color {
        std::uint8_t red = 0;
        std::uint8_t green = 0;
        std::uint8_t blue = 0;

        bool operator==(const Color&) const = default;
        // 0xRRGGBB.
        static constexpr Color hex(std::uint32_t value) {
            return {static_cast<std::uint8_t>((value >> 16) & 0xff), static_cast<std::uint8_t>((value >> 8) & 0xff),
                    static_cast<std::uint8_t>(value & 0xff)};
        }
    };

    enum class LineStyle { solid, dashed, dotted };

    // A frame of the given size filled with `background`.
    static PixelFrame blankFrame(std::int64_t width, std::int64_t height, Color background,
                                 PixelFrame::ChannelOrder order = PixelFrame::ChannelOrder::rgba);

    explicit PixelPainter(PixelFrame& frame) : frame_(frame) {}

    void setPixel(std::int64_t x, std::int64_t y, Color color);
    void fill(Color color);
    void fillRect(const PixelFrame::PixelBounds& bounds, Color color);
    // The outline of `bounds`, `thickness` pixels wide, drawn inside it (outlined boxes and chips).
    void strokeRect(const PixelFrame::PixelBounds& bounds, Color color, std::int64_t thickness = 1);
    // A full-height vertical divider of `thickness` columns starting at column `x`.
    void verticalDivider(std::int64_t x, std::int64_t thickness, Color color);
    // A horizontal line over columns [minX, maxX) whose first row is `row`; dashed lines draw
    // `dash` columns and skip `gap`, dotted lines draw one column and skip one.
    void horizontalLine(std::int64_t row, std::int64_t minX, std::int64_t maxX, Color color, std::int64_t thickness = 1,
                        LineStyle style = LineStyle::solid, std::int64_t dash = 6, std::int64_t gap = 4);
    // Glyph-like strokes over `bounds`: columns of varying height and a few crossbars, about
    // `density` of the area inked; the same seed always gives the same strokes.
    void textNoise(const PixelFrame::PixelBounds& bounds, Color ink, std::uint32_t seed, double density = 0.3);
    // A filled badge with light digit-like strokes inside (kept sparse so the fill stays the dominant colour of every column).
    void badge(const PixelFrame::PixelBounds& bounds, Color fill, Color ink = Color{255, 255, 255},
               std::uint32_t seed = 1);

private:
    PixelFrame& frame_;
};

}  // namespace halvex
