#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace halvex {

// A rectangle normalised to the analysed image (0…1, origin at the bottom left, y growing upward).
struct ChartNormalizedRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const ChartNormalizedRect&) const = default;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double centerX() const { return x + width * 0.5; }
    double centerY() const { return y + height * 0.5; }

    // When one rectangle already spans the other along an axis its edge and extent are kept as they
    // are, so the union with a contained rectangle (or itself) is exact rather than re-derived.
    ChartNormalizedRect unionWith(const ChartNormalizedRect& other) const {
        const auto span = [](double aStart, double aLength, double bStart, double bLength) {
            const double aEnd = aStart + aLength;
            const double bEnd = bStart + bLength;
            if (aStart <= bStart && aEnd >= bEnd) return std::pair{aStart, aLength};
            if (bStart <= aStart && bEnd >= aEnd) return std::pair{bStart, bLength};
            const double start = std::min(aStart, bStart);
            return std::pair{start, std::max(aEnd, bEnd) - start};
        };
        const auto [unionX, unionWidth] = span(x, width, other.x, other.width);
        const auto [unionY, unionHeight] = span(y, height, other.y, other.height);
        return {unionX, unionY, unionWidth, unionHeight};
    }
    // Open interiors overlap: touching edges do not intersect.
    bool intersects(const ChartNormalizedRect& other) const {
        return other.x < maxX() && x < other.maxX() && other.y < maxY() && y < other.maxY();
    }
    // Whether `other` can be the same quantity badge as this one seen in an earlier scan.
    bool plausiblySameBadge(const ChartNormalizedRect& other) const {
        if (!(height > 0 && width > 0 && other.height > 0)) return false;
        if (!(other.width > 0)) return false;
        const double widthRatio = other.width / width;
        const double heightRatio = other.height / height;
        return widthRatio >= 0.45 && widthRatio <= 2.2 && heightRatio >= 0.55 && heightRatio <= 1.8;
    }
};

// One chart pane of a multi-chart layout, counted from the left.
struct ChartPane {
    std::int64_t index = 0;
    std::int64_t count = 1;
    double minX = 0.0;
    double maxX = 1.0;

    bool operator==(const ChartPane&) const = default;

    static ChartPane single() { return {0, 1, 0.0, 1.0}; }
    double width() const { return maxX - minX; }
    double centerX() const { return (minX + maxX) * 0.5; }
    std::string label() const { return "pane " + std::to_string(index + 1) + "/" + std::to_string(count); }
};

nlohmann::json toJSON(const ChartNormalizedRect& rect);
// Decoders throw nlohmann::json::exception on a missing key or a wrong type.
ChartNormalizedRect chartNormalizedRectFromJSON(const nlohmann::json& json);
nlohmann::json toJSON(const ChartPane& pane);
ChartPane chartPaneFromJSON(const nlohmann::json& json);

}  // namespace halvex
