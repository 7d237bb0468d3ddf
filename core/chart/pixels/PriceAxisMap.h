#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace halvex {

// A straight line between image rows (counted downward) and prices, fitted to the tick labels read
// from a chart's price axis. The fit is robust against a few stray numbers (a misread label, the
// last-price tag, an order's price tag) and strict enough to refuse a column of numbers that is not a
// price axis: the ticks must fall downward on a regular lattice.
struct PriceAxisMap {
    // An outlier lies more than this fraction of the tick spacing off the line.
    static constexpr double maximumResidualFraction = 0.2;
    // A neighbouring gap counts as a whole multiple of the spacing within this fraction of it.
    static constexpr double tickLatticeTolerance = 0.25;
    // The largest multiple of the spacing a neighbouring gap may be.
    static constexpr std::int64_t maximumTickMultiple = 5;
    // Fewest distinct ticks a fit needs, before and after dropping outliers.
    static constexpr std::int64_t minimumTickCount = 3;
    // Most distinct prices a fit accepts; a longer column is refused, not cut.
    static constexpr std::int64_t maximumLabelsConsidered = 60;

    // A value read from a tick label and the row of the label's vertical centre.
    struct Label {
        double price = 0;
        double centerRow = 0;

        bool operator==(const Label&) const = default;
    };

    // Half-open range of rows [lowerBound, upperBound): the chart band of a pane.
    struct RowRange {
        std::int64_t lowerBound = 0;
        std::int64_t upperBound = 0;

        bool operator==(const RowRange&) const = default;
    };

    struct Line {
        double slope = 0;
        double intercept = 0;

        bool operator==(const Line&) const = default;
    };

    double pricePerRow = 0;
    double priceAtRowZero = 0;
    double low = 0;
    double high = 0;
    double tickPriceLow = 0;
    double tickPriceHigh = 0;
    double tickSpacing = 0;
    std::int64_t tickCount = 0;
    std::vector<double> offGridPrices;

    bool operator==(const PriceAxisMap&) const = default;

    // The map of `labels` (any order) over `paneRows`, or nothing when they do not form a price axis.
    static std::optional<PriceAxisMap> fit(const std::vector<Label>& labels, RowRange paneRows);

    double price(double row) const { return priceAtRowZero + row * pricePerRow; }
    double row(double forPrice) const { return (forPrice - priceAtRowZero) / pricePerRow; }

    // Theil–Sen line of price over row through ticks (price, row).
    static std::optional<Line> robustLine(const std::vector<Label>& ticks);
    static std::optional<double> median(std::vector<double> values);
    // Median of the positive absolute price differences between row-ordered neighbours.
    static std::optional<double> medianNeighbouringGap(const std::vector<Label>& ticks);
    static bool descendsStrictly(const std::vector<Label>& ticks);
    // Whether strictly more than half of the neighbouring gaps are whole multiples (1…5) of `spacing`.
    static bool isTickLattice(const std::vector<Label>& ticks, double spacing);
};

}  // namespace halvex
