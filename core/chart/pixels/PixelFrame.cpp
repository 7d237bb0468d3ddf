#include "core/chart/pixels/PixelFrame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace halvex {

namespace {

constexpr double coloredMinimumValue = 0.28;
constexpr double coloredMinimumSaturation = 0.42;
constexpr double badgeSpanMinimumShare = 0.3;
constexpr double lineHueTolerance = 25.0;

double hueDistance(double a, double b) {
    const double d = std::fabs(a - b);
    return std::min(d, 360.0 - d);
}

// floor(value × scale) for sizes derived from caller-supplied factors, kept finite and bounded so a
// wild factor cannot overflow the integer conversion.
std::int64_t flooredProduct(double value, std::int64_t scale) {
    const double product = std::floor(value * static_cast<double>(scale));
    if (!std::isfinite(product) || product < 0) return 0;
    return static_cast<std::int64_t>(std::min(product, 1e12));
}

}  // namespace

// MARK: colour

double PixelFrame::RGB::value() const { return std::max({red, green, blue}); }

double PixelFrame::RGB::saturation() const {
    const double v = value();
    if (v <= 0) return 0;
    return (v - std::min({red, green, blue})) / v;
}

double PixelFrame::RGB::hue() const {
    const double maximum = value();
    const double d = maximum - std::min({red, green, blue});
    if (d == 0) return 0;
    double h;
    if (maximum == red) {
        h = 60.0 * std::fmod((green - blue) / d, 6.0);
    } else if (maximum == green) {
        h = 60.0 * ((blue - red) / d + 2.0);
    } else {
        h = 60.0 * ((red - green) / d + 4.0);
    }
    if (h < 0) h += 360.0;
    return h;
}

std::optional<std::size_t> PixelFrame::byteOffset(std::int64_t x, std::int64_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
    const auto offset = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    if (offset + 3 > rgba.size()) return std::nullopt;
    return offset;
}

std::optional<PixelFrame::RGB> PixelFrame::color(std::int64_t x, std::int64_t y) const {
    const auto offset = byteOffset(x, y);
    if (!offset) return std::nullopt;
    const std::uint8_t* p = rgba.data() + *offset;
    const double first = p[0] / 255.0;
    const double second = p[1] / 255.0;
    const double third = p[2] / 255.0;
    if (channelOrder == ChannelOrder::bgra) return RGB{third, second, first};
    return RGB{first, second, third};
}

PixelFrame::ColorClass PixelFrame::classify(const RGB& rgb) {
    if (rgb.value() < coloredMinimumValue || rgb.saturation() < coloredMinimumSaturation) return ColorClass::none;
    const double h = rgb.hue();
    if (h <= 18 || h >= 340) return ColorClass::red;
    if (h >= 185 && h <= 255) return ColorClass::blue;
    if (h >= 19 && h <= 70) return ColorClass::orange;
    return ColorClass::other;
}

PixelFrame::ColorClass PixelFrame::classAt(std::int64_t x, std::int64_t y) const {
    const auto rgb = color(x, y);
    return rgb ? classify(*rgb) : ColorClass::none;
}

bool PixelFrame::matches(std::int64_t x, std::int64_t y, ColorClass klass) const {
    return klass != ColorClass::none && classAt(x, y) == klass;
}

// MARK: geometry

PixelFrame::PixelBounds PixelFrame::pixelBounds(const ChartNormalizedRect& rect) const {
    // A frame without area has no pixel to clamp to; non-finite rectangles have no intersection.
    if (width <= 0 || height <= 0) return {};
    const double minX = std::max(rect.x, 0.0);
    const double maxX = std::min(rect.maxX(), 1.0);
    const double minY = std::max(rect.y, 0.0);
    const double maxY = std::min(rect.maxY(), 1.0);
    if (!(std::isfinite(minX) && std::isfinite(maxX) && std::isfinite(minY) && std::isfinite(maxY))) return {};
    if (!(maxX > minX && maxY > minY)) return {};
    const auto w = static_cast<double>(width);
    const auto h = static_cast<double>(height);
    PixelBounds bounds;
    bounds.minX = std::clamp(static_cast<std::int64_t>(std::floor(minX * w)), std::int64_t{0}, width - 1);
    bounds.maxX = std::max(bounds.minX + 1, std::min(width, static_cast<std::int64_t>(std::ceil(maxX * w))));
    bounds.minY = std::clamp(static_cast<std::int64_t>(std::floor((1.0 - maxY) * h)), std::int64_t{0}, height - 1);
    bounds.maxY = std::max(bounds.minY + 1, std::min(height, static_cast<std::int64_t>(std::ceil((1.0 - minY) * h))));
    return bounds;
}

ChartNormalizedRect PixelFrame::normalizedRect(const PixelBounds& bounds) const {
    if (width <= 0 || height <= 0) return {};
    const auto w = static_cast<double>(width);
    const auto h = static_cast<double>(height);
    const double x = static_cast<double>(bounds.minX) / w;
    const double y = 1.0 - static_cast<double>(bounds.maxY) / h;
    return {x, y, std::max(0.0, static_cast<double>(bounds.maxX) / w - x),
            std::max(0.0, (1.0 - static_cast<double>(bounds.minY) / h) - y)};
}

// MARK: building blocks

PixelFrame::ColorClass PixelFrame::dominantClass(std::int64_t x, std::int64_t minY, std::int64_t maxY) const {
    if (minY >= maxY || x < 0 || x >= width) return ColorClass::none;
    std::array<std::int64_t, 5> counts{};
    std::int64_t sampled = 0;
    for (std::int64_t y = std::max<std::int64_t>(minY, 0); y < std::min(maxY, height); ++y) {
        ++sampled;
        ++counts[static_cast<std::size_t>(classAt(x, y))];
    }
    if (sampled == 0) return ColorClass::none;
    for (const ColorClass klass : {ColorClass::blue, ColorClass::red, ColorClass::orange, ColorClass::other}) {
        if (counts[static_cast<std::size_t>(klass)] * 2 > sampled) return klass;
    }
    return ColorClass::none;
}

std::optional<PixelFrame::ClassRun> PixelFrame::longestRun(const std::vector<ColorClass>& classes,
                                                           const std::vector<ColorClass>& allowed,
                                                           std::int64_t minimumLength) {
    std::optional<ClassRun> best;
    const auto count = static_cast<std::int64_t>(classes.size());
    std::int64_t start = 0;
    while (start < count) {
        const ColorClass klass = classes[static_cast<std::size_t>(start)];
        std::int64_t end = start + 1;
        while (end < count && classes[static_cast<std::size_t>(end)] == klass) ++end;
        const bool isAllowed = std::find(allowed.begin(), allowed.end(), klass) != allowed.end();
        if (isAllowed && end - start >= minimumLength && (!best || end - start > best->length())) {
            best = ClassRun{klass, start, end};
        }
        start = end;
    }
    return best;
}

PixelFrame::Span PixelFrame::badgeSpan(std::int64_t runMinX, std::int64_t runMaxX, std::int64_t bandMinY,
                                       std::int64_t bandMaxY, ColorClass klass, std::int64_t limit) const {
    const std::int64_t rowLower = std::max<std::int64_t>(bandMinY, 0);
    const std::int64_t rowUpper = std::min(bandMaxY, height);
    auto columnTaken = [&](std::int64_t x) {
        const std::int64_t inFrame = rowUpper - rowLower;
        if (inFrame <= 0) return false;
        std::int64_t matching = 0;
        for (std::int64_t y = rowLower; y < rowUpper; ++y) {
            if (matches(x, y, klass)) ++matching;
        }
        return static_cast<double>(matching) >= badgeSpanMinimumShare * static_cast<double>(inFrame);
    };
    Span span{runMinX, runMaxX};
    for (std::int64_t step = 0; step < limit && span.lower - 1 >= 0 && span.lower - 1 < width; ++step) {
        if (!columnTaken(span.lower - 1)) break;
        --span.lower;
    }
    for (std::int64_t step = 0; step < limit && span.upper < width && span.upper >= 0; ++step) {
        if (!columnTaken(span.upper)) break;
        ++span.upper;
    }
    return span;
}

PixelFrame::Span PixelFrame::verticalExtent(std::int64_t x, std::int64_t centerY, ColorClass klass) const {
    std::int64_t top = centerY;
    for (std::int64_t y = centerY - 1;; --y) {
        if (y < 0) {
            top = 0;
            break;
        }
        if (!matches(x, y, klass)) break;
        top = y;
    }
    std::int64_t bottom = centerY + 1;
    for (std::int64_t y = centerY + 1;; ++y) {
        if (y >= height) {
            bottom = height;
            break;
        }
        if (!matches(x, y, klass)) {
            bottom = y;
            break;
        }
    }
    return {std::min(top, centerY), std::max(bottom, centerY + 1)};
}

PixelFrame::Span PixelFrame::verticalExtent(Span columns, std::int64_t centerY, ColorClass klass) const {
    Span extent{centerY, centerY + 1};
    auto include = [&](std::int64_t x) {
        const Span column = verticalExtent(x, centerY, klass);
        extent.lower = std::min(extent.lower, column.lower);
        extent.upper = std::max(extent.upper, column.upper);
    };
    if (columns.upper <= columns.lower) {
        include(columns.lower);
        return extent;
    }
    const std::int64_t step = std::max<std::int64_t>(1, (columns.upper - columns.lower) / 6);
    for (std::int64_t x = columns.lower; x < columns.upper; x += step) include(x);
    return extent;
}

std::optional<PixelFrame::RGB> PixelFrame::referenceColor(const PixelBounds& bounds, ColorClass klass) const {
    if (!bounds.hasArea()) return std::nullopt;
    const std::int64_t stepX = std::max<std::int64_t>(1, bounds.width() / 24);
    const std::int64_t stepY = std::max<std::int64_t>(1, bounds.height() / 24);
    RGB sum;
    std::int64_t matching = 0;
    for (std::int64_t y = bounds.minY; y < bounds.maxY; y += stepY) {
        for (std::int64_t x = bounds.minX; x < bounds.maxX; x += stepX) {
            const auto rgb = color(x, y);
            if (!rgb || classify(*rgb) != klass || klass == ColorClass::none) continue;
            sum.red += rgb->red;
            sum.green += rgb->green;
            sum.blue += rgb->blue;
            ++matching;
        }
    }
    if (matching == 0) return std::nullopt;
    const auto n = static_cast<double>(matching);
    return RGB{sum.red / n, sum.green / n, sum.blue / n};
}

bool PixelFrame::matchesLine(const RGB& pixel, const RGB& reference) {
    const double referenceValue = reference.value();
    if (pixel.value() < std::max(0.25, 0.3 * referenceValue)) return false;
    const double minimumSaturation = referenceValue == 0 ? 0.2 : std::max(0.2, 0.35 * reference.saturation());
    if (pixel.saturation() < minimumSaturation) return false;
    return hueDistance(pixel.hue(), reference.hue()) <= lineHueTolerance;
}

std::optional<double> PixelFrame::lineCoverage(std::int64_t row, std::int64_t startX, std::int64_t endX,
                                               const RGB& reference) const {
    if (row < 0 || row >= height || endX >= startX) return std::nullopt;
    std::int64_t matching = 0;
    for (std::int64_t x = startX; x > endX; --x) {
        const auto rgb = color(x, row);
        if (rgb && matchesLine(*rgb, reference)) ++matching;
    }
    return static_cast<double>(matching) / static_cast<double>(startX - endX);
}

double PixelFrame::positionLineCoverage(std::int64_t leftOf, std::int64_t centerY, const RGB& reference,
                                        std::int64_t searchRows, std::optional<std::int64_t> badgeHeight) const {
    std::int64_t length = 40 * width < 3993 ? 40 : 40 * width / 100;
    const std::int64_t start = leftOf - 1;
    length = std::min(length, start);
    if (length < 8) return 0;
    const std::int64_t end = start - length;

    const std::int64_t radius = std::max<std::int64_t>(1, searchRows);
    double best = 0;
    for (std::int64_t row = std::max(centerY - radius, std::int64_t{0}); row <= centerY + radius && row < height; ++row) {
        best = std::max(best, lineCoverage(row, start, end, reference).value_or(0));
    }

    // A colour that also covers the rows above and below is a filled area, not a thin line.
    if (best > 0 && badgeHeight) {
        const std::int64_t offset = *badgeHeight < 9 ? 3 : *badgeHeight / 3;
        const double above = lineCoverage(centerY - offset, start, end, reference).value_or(0);
        const auto below = lineCoverage(centerY + offset, start, end, reference);
        if (below && best <= 2 * std::min(above, *below)) return 0;
    }
    return best;
}

// MARK: badges

PixelFrame::PixelBounds PixelFrame::badgeBounds(std::int64_t runMinX, std::int64_t runMaxX, std::int64_t bandMinY,
                                                std::int64_t bandMaxY, std::int64_t centerY, ColorClass klass,
                                                std::int64_t limit) const {
    const Span columns = badgeSpan(runMinX, runMaxX, bandMinY, bandMaxY, klass, limit);
    const Span rows = verticalExtent(columns, centerY, klass);
    return {columns.lower, rows.lower, columns.upper, rows.upper};
}

double PixelFrame::badgeLineCoverage(const PixelBounds& badge, ColorClass klass, std::int64_t fallbackRow) const {
    const std::int64_t centerX = (badge.minX + badge.maxX) / 2;
    const std::int64_t centerY = (badge.minY + badge.maxY) / 2;
    std::optional<RGB> reference = referenceColor(badge, klass);
    if (!reference) reference = color(centerX, centerY);
    if (!reference) reference = color(centerX, fallbackRow);
    if (!reference) return 0;
    const std::int64_t badgeHeight = badge.height();
    const std::int64_t searchRows = badgeHeight < 3 ? 1 : badgeHeight / 3;
    return positionLineCoverage(badge.minX, centerY, *reference, searchRows, badgeHeight);
}

PixelFrame::BadgeProbe PixelFrame::probeBadge(const ChartNormalizedRect& textRect, bool containsQuantity) const {
    const BadgeProbe noBadge{BadgeProbe::noBadge, 0, std::nullopt};
    const PixelBounds text = pixelBounds(textRect);
    if (!text.hasArea()) return noBadge;
    const std::int64_t w = text.width();
    const std::int64_t h = text.height();

    const std::int64_t g = h >= 4 ? h : 3;
    const std::int64_t centerY = (text.minY + text.maxY) / 2;
    const std::int64_t halfBand = 45 * g / 100;
    const std::int64_t bandMinY = std::max<std::int64_t>(0, centerY - halfBand);
    const std::int64_t bandMaxY = std::min(height, centerY + halfBand + 1);
    if (bandMinY >= bandMaxY) return noBadge;

    // The badge stands left of the amount; when the box also holds the badge's digits the scan
    // reaches into the box.
    const std::int64_t reach = containsQuantity ? (45 * w < 200 ? 2 : 45 * w / 100) : (h > 3 ? g / 2 : 2);
    const std::int64_t scanMinX = std::max<std::int64_t>(0, text.minX - 5 * g);
    std::int64_t scanMaxX = std::min(width, text.minX + reach);
    if (scanMaxX - scanMinX < 2) return noBadge;

    std::vector<ColorClass> classes;
    classes.reserve(static_cast<std::size_t>(2 * (scanMaxX - scanMinX)));
    for (std::int64_t x = scanMinX; x < scanMaxX; ++x) classes.push_back(dominantClass(x, bandMinY, bandMaxY));

    const std::vector<ColorClass> badgeClasses{ColorClass::blue, ColorClass::red};
    const std::int64_t minimumRun = h > 5 ? g / 2 : 3;
    auto run = longestRun(classes, badgeClasses, minimumRun);
    if (!run && containsQuantity) {
        const std::int64_t widerReach = 85 * w < 200 ? 2 : 85 * w / 100;
        const std::int64_t widerMaxX = std::min(width, text.minX + widerReach);
        for (std::int64_t x = scanMaxX; x < widerMaxX; ++x) classes.push_back(dominantClass(x, bandMinY, bandMaxY));
        scanMaxX = std::max(scanMaxX, widerMaxX);
        run = longestRun(classes, badgeClasses, minimumRun);
    }
    if (!run) {
        auto any = [&](std::initializer_list<ColorClass> wanted) {
            return std::any_of(classes.begin(), classes.end(), [&](ColorClass c) {
                return std::find(wanted.begin(), wanted.end(), c) != wanted.end();
            });
        };
        if (any({ColorClass::orange})) return {BadgeProbe::unfilledOrder, 0, std::nullopt};
        if (any({ColorClass::blue, ColorClass::red, ColorClass::other})) {
            return {BadgeProbe::ambiguousColoredLabel, 0, std::nullopt};
        }
        return noBadge;
    }

    const PixelBounds bounds = badgeBounds(scanMinX + run->start, scanMinX + run->end, bandMinY, bandMaxY, centerY,
                                           run->klass, std::max<std::int64_t>(2 * g, 2));
    const double coverage = badgeLineCoverage(bounds, run->klass, centerY);
    return {run->klass == ColorClass::blue ? BadgeProbe::activeLong : BadgeProbe::activeShort, coverage, bounds};
}

std::optional<PixelFrame::BadgeProbe> PixelFrame::relocateBadge(const ChartNormalizedRect& rect, int side,
                                                                double verticalRadiusInBadgeHeights,
                                                                double horizontalRadiusInBadgeHeights) const {
    const PixelBounds remembered = pixelBounds(rect);
    if (!remembered.hasArea()) return std::nullopt;
    const std::int64_t j = std::max<std::int64_t>(4, remembered.height());
    const std::int64_t verticalRadius = std::max<std::int64_t>(4, flooredProduct(verticalRadiusInBadgeHeights, j));
    const std::int64_t horizontalRadius = std::max<std::int64_t>(4, flooredProduct(horizontalRadiusInBadgeHeights, j));

    const std::int64_t columnMin = std::max<std::int64_t>(0, remembered.minX - horizontalRadius);
    const std::int64_t columnMax = std::min(width, remembered.maxX + horizontalRadius);
    if (columnMax - columnMin <= 2) return std::nullopt;
    const std::int64_t center = (remembered.minY + remembered.maxY) / 2;
    const std::int64_t rowStep = std::max<std::int64_t>(1, j / 4);
    const std::int64_t rowEnd = std::min(height, center + verticalRadius + 1);
    const std::int64_t halfBand = 45 * j / 100;
    const ColorClass klass = side >= 1 ? ColorClass::blue : ColorClass::red;
    const std::int64_t minimumRun = j > 5 ? j / 2 : 3;
    const std::vector<ColorClass> wanted{klass};

    std::vector<ColorClass> classes(static_cast<std::size_t>(columnMax - columnMin));
    std::optional<ClassRun> bestRun;
    std::int64_t bestRow = 0;
    for (std::int64_t row = std::max<std::int64_t>(0, center - verticalRadius); row < rowEnd; row += rowStep) {
        const std::int64_t bandMinY = std::max<std::int64_t>(0, row - halfBand);
        const std::int64_t bandMaxY = std::min(height, row + halfBand + 1);
        for (std::int64_t x = columnMin; x < columnMax; ++x) {
            classes[static_cast<std::size_t>(x - columnMin)] = dominantClass(x, bandMinY, bandMaxY);
        }
        const auto run = longestRun(classes, wanted, minimumRun);
        if (run && (!bestRun || run->length() > bestRun->length())) {
            bestRun = run;
            bestRow = row;
        }
    }
    if (!bestRun) return std::nullopt;

    const PixelBounds bounds = badgeBounds(columnMin + bestRun->start, columnMin + bestRun->end,
                                           std::max<std::int64_t>(0, bestRow - halfBand),
                                           std::min(height, bestRow + halfBand + 1), bestRow, klass,
                                           std::max<std::int64_t>(2 * j, 2));
    const auto badgeHeight = static_cast<double>(bounds.height());
    if (bounds.width() <= 2 || bounds.height() <= 2) return std::nullopt;
    if (badgeHeight < 0.5 * static_cast<double>(j) || badgeHeight > 2.5 * static_cast<double>(j)) return std::nullopt;
    const double coverage = badgeLineCoverage(bounds, klass, bestRow);
    return BadgeProbe{side >= 1 ? BadgeProbe::activeLong : BadgeProbe::activeShort, coverage, bounds};
}

// MARK: label crops

std::optional<PixelFrame::LabelCrop> PixelFrame::labelCrop(const PixelBounds& badge, const PixelBounds& label,
                                                           double targetLabelHeight,
                                                           const GreyBitmapScaler& scaler) const {
    if (!std::isfinite(targetLabelHeight) || targetLabelHeight < 1) return std::nullopt;
    const std::int64_t rowHeight = std::max<std::int64_t>({badge.height(), label.height(), 4});
    const std::int64_t margin = rowHeight / 2;
    const PixelBounds crop{std::max<std::int64_t>(0, badge.minX - margin),
                           std::max<std::int64_t>(0, std::min(badge.minY, label.minY) - margin),
                           std::min(width, std::max(badge.maxX, label.maxX) + rowHeight),
                           std::min(height, std::max(badge.maxY, label.maxY) + margin)};
    if (crop.width() < 8 || crop.height() < 6) return std::nullopt;

    const double scale = targetLabelHeight / static_cast<double>(rowHeight);
    const double scaledWidth = std::round(scale * static_cast<double>(crop.width()));
    const double scaledHeight = std::round(scale * static_cast<double>(crop.height()));
    if (scaledWidth < 16 || scaledHeight < 12 || scaledWidth > 6000 || scaledHeight > 6000) return std::nullopt;

    GreyBitmap grey{crop.width(), crop.height(), {}};
    grey.pixels.reserve(static_cast<std::size_t>(crop.width() * crop.height()));
    for (std::int64_t y = crop.minY; y < crop.maxY; ++y) {
        for (std::int64_t x = crop.minX; x < crop.maxX; ++x) {
            const RGB rgb = color(x, y).value_or(RGB{});
            const double level = std::round((0.299 * rgb.red + 0.587 * rgb.green + 0.114 * rgb.blue) * 255.0);
            grey.pixels.push_back(static_cast<std::uint8_t>(std::clamp(level, 0.0, 255.0)));
        }
    }
    const auto magnifiedWidth = static_cast<std::int64_t>(scaledWidth);
    const auto magnifiedHeight = static_cast<std::int64_t>(scaledHeight);
    auto magnified = scaler.scaled(grey, magnifiedWidth, magnifiedHeight);
    if (!magnified || magnified->width != magnifiedWidth || magnified->height != magnifiedHeight) return std::nullopt;
    return LabelCrop{std::move(*magnified), crop, scaledWidth / static_cast<double>(crop.width()),
                     scaledHeight / static_cast<double>(crop.height())};
}

}  // namespace halvex
