#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

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

    ChartNormalizedRect unionWith(const ChartNormalizedRect& other) const {
        const double minX = std::min(x, other.x);
        const double minY = std::min(y, other.y);
        return {minX, minY, std::max(maxX(), other.maxX()) - minX, std::max(maxY(), other.maxY()) - minY};
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
ChartNormalizedRect chartNormalizedRectFromJSON(const nlohmann::json& json);
nlohmann::json toJSON(const ChartPane& pane);
ChartPane chartPaneFromJSON(const nlohmann::json& json);

}  // namespace halvex
