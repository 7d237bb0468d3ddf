#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/chart/pixels/GreyBitmap.h"
#include "core/chart/pixels/GreyBitmapScaler.h"
#include "core/chart/records/ChartGeometry.h"

namespace halvex {

// A captured frame as plain bytes (4 per pixel, rows top to bottom, no padding) with the pixel
// analyses the chart readers use where recognised text is not enough: pane splitting at dividers,
// the coloured quantity badge and its side, the position line beside it, and label crops for
// rereading. Every analysis is a pure function of the frame and its arguments; missing pixels read
// as uncoloured, so a byte array shorter than width × height × 4 is safe.
struct PixelFrame {
    // Order of the colour bytes in a pixel; the fourth byte is never read.
    enum class ChannelOrder { rgba, bgra };

    // Pixel rectangle, rows from the top, maxima exclusive.
    struct PixelBounds {
        std::int64_t minX = 0;
        std::int64_t minY = 0;
        std::int64_t maxX = 0;
        std::int64_t maxY = 0;

        bool operator==(const PixelBounds&) const = default;
        std::int64_t width() const { return maxX - minX; }
        std::int64_t height() const { return maxY - minY; }
        bool hasArea() const { return maxX > minX && maxY > minY; }
    };

    // The pixel columns [minX, maxX) of one chart pane.
    struct PaneBounds {
        std::int64_t minX = 0;
        std::int64_t maxX = 0;

        bool operator==(const PaneBounds&) const = default;
    };

    // A colour with channels 0…1.
    struct RGB {
        double red = 0;
        double green = 0;
        double blue = 0;

        bool operator==(const RGB&) const = default;
        // Hue in degrees [0, 360); 0 for a grey.
        double hue() const;
        double value() const;
        // (max − min) / max; 0 for black.
        double saturation() const;
    };

    enum class ColorClass { none, blue, red, orange, other };

    struct BadgeProbe {
        static constexpr const char* activeLong = "active-long";
        static constexpr const char* activeShort = "active-short";
        static constexpr const char* unfilledOrder = "unfilled-order";
        static constexpr const char* ambiguousColoredLabel = "ambiguous-colored-label";
        static constexpr const char* noBadge = "no-badge";

        std::string role;
        // Share of the stretch left of the badge covered by a line of the badge's colour, 0…1.
        double lineCoverage = 0;
        std::optional<PixelBounds> bounds;

        bool operator==(const BadgeProbe&) const = default;
    };

    // A magnified grey crop of a label: `origin` is the crop in this frame, the scales are the
    // magnified size divided by the crop size.
    struct LabelCrop {
        GreyBitmap image;
        PixelBounds origin;
        double scaleX = 0;
        double scaleY = 0;

        bool operator==(const LabelCrop&) const = default;
    };

    // A stretch [start, end) of equal classes in a list of per-column classes.
    struct ClassRun {
        ColorClass klass = ColorClass::none;
        std::int64_t start = 0;
        std::int64_t end = 0;

        bool operator==(const ClassRun&) const = default;
        std::int64_t length() const { return end - start; }
    };

    // A half-open range [lower, upper) of columns or rows.
    struct Span {
        std::int64_t lower = 0;
        std::int64_t upper = 0;

        bool operator==(const Span&) const = default;
    };

    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> rgba;
    ChannelOrder channelOrder = ChannelOrder::rgba;

    bool operator==(const PixelFrame&) const = default;

    // Colour of one pixel; nothing outside the frame or past the end of the bytes.
    std::optional<RGB> color(std::int64_t x, std::int64_t y) const;
    // Class of one pixel: coloured (value ≥ 0.28, saturation ≥ 0.42) pixels by hue, else `none`.
    static ColorClass classify(const RGB& rgb);
    ColorClass classAt(std::int64_t x, std::int64_t y) const;
    bool matches(std::int64_t x, std::int64_t y, ColorClass klass) const;

    // Geometry: normalised rectangles (origin bottom left) ↔ pixel bounds (origin top left).
    PixelBounds pixelBounds(const ChartNormalizedRect& rect) const;
    ChartNormalizedRect normalizedRect(const PixelBounds& bounds) const;

    // The chart panes of a multi-chart layout, split at thin flat dividers; at least one pane.
    std::vector<PaneBounds> detectChartPanes() const;

    // The filled quantity badge beside (or inside) a recognised text box, with its side and line.
    BadgeProbe probeBadge(const ChartNormalizedRect& textRect, bool containsQuantity) const;
    // A remembered badge of the given side (≥ 1 long, else short) found again near `rect`.
    std::optional<BadgeProbe> relocateBadge(const ChartNormalizedRect& rect, int side, double verticalRadiusInBadgeHeights,
                                            double horizontalRadiusInBadgeHeights) const;
    // A grey crop around badge and label, magnified by `scaler` so the label row is about
    // `targetLabelHeight` pixels high; nothing when the crop or its magnified size is out of bounds.
    std::optional<LabelCrop> labelCrop(const PixelBounds& badge, const PixelBounds& label, double targetLabelHeight,
                                       const GreyBitmapScaler& scaler) const;

    // Building blocks.
    ColorClass dominantClass(std::int64_t x, std::int64_t minY, std::int64_t maxY) const;
    static std::optional<ClassRun> longestRun(const std::vector<ColorClass>& classes,
                                              const std::vector<ColorClass>& allowed, std::int64_t minimumLength);
    Span badgeSpan(std::int64_t runMinX, std::int64_t runMaxX, std::int64_t bandMinY, std::int64_t bandMaxY,
                   ColorClass klass, std::int64_t limit) const;
    Span verticalExtent(std::int64_t x, std::int64_t centerY, ColorClass klass) const;
    Span verticalExtent(Span columns, std::int64_t centerY, ColorClass klass) const;
    std::optional<RGB> referenceColor(const PixelBounds& bounds, ColorClass klass) const;
    static bool matchesLine(const RGB& pixel, const RGB& reference);
    std::optional<double> lineCoverage(std::int64_t row, std::int64_t startX, std::int64_t endX,
                                       const RGB& reference) const;
    double positionLineCoverage(std::int64_t leftOf, std::int64_t centerY, const RGB& reference, std::int64_t searchRows,
                                std::optional<std::int64_t> badgeHeight) const;

private:
    // Offset of the pixel's first byte, or nothing when the pixel or its colour bytes are missing.
    std::optional<std::size_t> byteOffset(std::int64_t x, std::int64_t y) const;
    // The badge grown from a run of `klass` columns: its columns by badge span, its rows by vertical extent.
    PixelBounds badgeBounds(std::int64_t runMinX, std::int64_t runMaxX, std::int64_t bandMinY, std::int64_t bandMaxY,
                            std::int64_t centerY, ColorClass klass, std::int64_t limit) const;
    // Position line coverage left of a badge, in the badge's own colour (`fallbackRow` locates the
    // colour when the badge has no pixel of its class).
    double badgeLineCoverage(const PixelBounds& badge, ColorClass klass, std::int64_t fallbackRow) const;
};

}  // namespace halvex
