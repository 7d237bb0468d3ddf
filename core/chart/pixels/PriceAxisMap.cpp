#include "core/chart/pixels/PriceAxisMap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace halvex {

std::optional<double> PriceAxisMap::median(std::vector<double> values) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2.0;
}

std::optional<PriceAxisMap::Line> PriceAxisMap::robustLine(const std::vector<Label>& ticks) {
    std::vector<double> slopes;
    slopes.reserve(ticks.size() * (ticks.size() > 0 ? ticks.size() - 1 : 0) / 2);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        for (std::size_t j = i + 1; j < ticks.size(); ++j) {
            const double rowDifference = ticks[j].centerRow - ticks[i].centerRow;
            if (!(std::fabs(rowDifference) > std::numeric_limits<double>::epsilon())) continue;
            const double slope = (ticks[j].price - ticks[i].price) / rowDifference;
            if (std::isfinite(slope)) slopes.push_back(slope);
        }
    }
    const auto slope = median(std::move(slopes));
    if (!slope || !std::isfinite(*slope)) return std::nullopt;
    std::vector<double> intercepts;
    intercepts.reserve(ticks.size());
    for (const Label& tick : ticks) intercepts.push_back(tick.price - tick.centerRow * *slope);
    const auto intercept = median(std::move(intercepts));
    if (!intercept || !std::isfinite(*intercept)) return std::nullopt;
    return Line{*slope, *intercept};
}

std::optional<double> PriceAxisMap::medianNeighbouringGap(const std::vector<Label>& ticks) {
    std::vector<double> gaps;
    for (std::size_t i = 0; i + 1 < ticks.size(); ++i) {
        const double gap = std::fabs(ticks[i + 1].price - ticks[i].price);
        if (gap > 0) gaps.push_back(gap);
    }
    const auto gap = median(std::move(gaps));
    if (!gap || !(*gap > 0)) return std::nullopt;
    return gap;
}

bool PriceAxisMap::descendsStrictly(const std::vector<Label>& ticks) {
    for (std::size_t i = 0; i + 1 < ticks.size(); ++i) {
        if (!(ticks[i].price > ticks[i + 1].price)) return false;
    }
    return true;
}

bool PriceAxisMap::isTickLattice(const std::vector<Label>& ticks, double spacing) {
    if (ticks.size() < 3 || !(spacing > 0)) return false;
    std::size_t counted = 0;
    const std::size_t differences = ticks.size() - 1;
    for (std::size_t i = 0; i < differences; ++i) {
        const double difference = std::fabs(ticks[i + 1].price - ticks[i].price);
        const double multiple = std::round(difference / spacing);
        if (multiple >= 1 && multiple <= static_cast<double>(maximumTickMultiple) &&
            std::fabs(difference - multiple * spacing) <= tickLatticeTolerance * spacing) {
            ++counted;
        }
    }
    return 2 * counted > differences;
}

std::optional<PriceAxisMap> PriceAxisMap::fit(const std::vector<Label>& labels, RowRange paneRows) {
    // One tick per distinct price, at the mean row of its readings.
    std::map<double, std::pair<double, std::int64_t>> rowsByPrice;
    for (const Label& label : labels) {
        if (!std::isfinite(label.price) || !std::isfinite(label.centerRow)) continue;
        auto& [rowSum, count] = rowsByPrice[label.price];
        rowSum += label.centerRow;
        ++count;
    }
    const auto distinct = static_cast<std::int64_t>(rowsByPrice.size());
    if (distinct < minimumTickCount || distinct > maximumLabelsConsidered) return std::nullopt;
    std::vector<Label> ticks;
    ticks.reserve(rowsByPrice.size());
    for (const auto& [price, rows] : rowsByPrice) {
        ticks.push_back({price, rows.first / static_cast<double>(rows.second)});
    }
    std::stable_sort(ticks.begin(), ticks.end(),
                     [](const Label& a, const Label& b) { return a.centerRow < b.centerRow; });

    std::vector<double> offGrid;
    Line line;
    double gap = 0;
    while (true) {
        const auto fitted = robustLine(ticks);
        if (!fitted) return std::nullopt;
        const auto spacing = medianNeighbouringGap(ticks);
        if (!spacing) return std::nullopt;
        line = *fitted;
        gap = *spacing;
        std::size_t worst = 0;
        double worstResidual = -1;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            const double residual = std::fabs(ticks[i].price - (ticks[i].centerRow * line.slope + line.intercept));
            if (residual > worstResidual) {
                worstResidual = residual;
                worst = i;
            }
        }
        if (worstResidual <= maximumResidualFraction * gap) break;
        offGrid.push_back(ticks[worst].price);
        ticks.erase(ticks.begin() + static_cast<std::ptrdiff_t>(worst));
        if (static_cast<std::int64_t>(ticks.size()) < minimumTickCount) return std::nullopt;
    }

    if (!(line.slope < 0) || !descendsStrictly(ticks) || !isTickLattice(ticks, gap)) return std::nullopt;
    const double atLower = static_cast<double>(paneRows.lowerBound) * line.slope + line.intercept;
    const double atUpper = static_cast<double>(paneRows.upperBound) * line.slope + line.intercept;
    if (!std::isfinite(atLower) || !std::isfinite(atUpper)) return std::nullopt;

    std::sort(offGrid.begin(), offGrid.end());
    PriceAxisMap map;
    map.pricePerRow = line.slope;
    map.priceAtRowZero = line.intercept;
    map.low = std::min(atLower, atUpper);
    map.high = std::max(atLower, atUpper);
    map.tickPriceLow = ticks.back().price;
    map.tickPriceHigh = ticks.front().price;
    map.tickSpacing = gap;
    map.tickCount = static_cast<std::int64_t>(ticks.size());
    map.offGridPrices = std::move(offGrid);
    return map;
}

}  // namespace halvex
