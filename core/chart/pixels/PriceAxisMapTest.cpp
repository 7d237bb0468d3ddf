#include "core/chart/pixels/PriceAxisMap.h"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex {
namespace {

using Label = PriceAxisMap::Label;

constexpr PriceAxisMap::RowRange pane{0, 1000};

std::vector<Label> axis(std::initializer_list<std::pair<double, double>> pricesAndRows) {
    std::vector<Label> labels;
    for (const auto& [price, row] : pricesAndRows) labels.push_back({price, row});
    return labels;
}

TEST(PriceAxisMapTest, CleanAxisGivesTheLineAndItsRange) {
    const auto map = PriceAxisMap::fit(axis({{4470, 400}, {4500, 100}, {4480, 300}, {4490, 200}}), pane);
    ASSERT_TRUE(map);
    EXPECT_NEAR(map->pricePerRow, -0.1, 1e-12);
    EXPECT_NEAR(map->priceAtRowZero, 4510, 1e-9);
    EXPECT_NEAR(map->low, 4410, 1e-9);  // at the exclusive bound, row 1000
    EXPECT_NEAR(map->high, 4510, 1e-9);
    EXPECT_EQ(map->tickPriceLow, 4470);
    EXPECT_EQ(map->tickPriceHigh, 4500);
    EXPECT_EQ(map->tickSpacing, 10);
    EXPECT_EQ(map->tickCount, 4);
    EXPECT_TRUE(map->offGridPrices.empty());
    EXPECT_NEAR(map->price(250), 4485, 1e-9);
    EXPECT_NEAR(map->row(4485), 250, 1e-9);
}

TEST(PriceAxisMapTest, MisreadLabelIsDroppedAsOffGrid) {
    const auto map = PriceAxisMap::fit(axis({{4500, 100}, {4490, 200}, {4880, 300}, {4470, 400}, {4460, 500}}), pane);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->tickCount, 4);
    EXPECT_EQ(map->tickSpacing, 10);
    EXPECT_EQ(map->offGridPrices, std::vector<double>{4880});
    EXPECT_NEAR(map->pricePerRow, -0.1, 1e-12);
    EXPECT_NEAR(map->priceAtRowZero, 4510, 1e-9);
    EXPECT_EQ(map->tickPriceLow, 4460);
}

TEST(PriceAxisMapTest, PriceTagsBetweenTicks) {
    // A last-price tag 3 off the line is removed; an order tag 0.25 off it stays a tick.
    const auto tagged = PriceAxisMap::fit(axis({{4500, 100}, {4490, 200}, {4483, 240}, {4480, 300}, {4470, 400}}), pane);
    ASSERT_TRUE(tagged);
    EXPECT_EQ(tagged->offGridPrices, std::vector<double>{4483});
    EXPECT_EQ(tagged->tickCount, 4);
    EXPECT_EQ(tagged->tickSpacing, 10);
    EXPECT_NEAR(tagged->pricePerRow, -0.1, 1e-12);
    EXPECT_NEAR(tagged->priceAtRowZero, 4510, 1e-9);

    const auto close = PriceAxisMap::fit(axis({{4500, 100}, {4490, 200}, {4486.25, 240}, {4480, 300}, {4470, 400}}), pane);
    ASSERT_TRUE(close);
    EXPECT_TRUE(close->offGridPrices.empty());
    EXPECT_EQ(close->tickCount, 5);
    EXPECT_DOUBLE_EQ(close->tickSpacing, 8.125);

    // Both at once: the tag far off the line goes, then the lattice of the rest holds.
    const auto both = PriceAxisMap::fit(
        axis({{4500, 100}, {4490, 200}, {4483, 240}, {4480, 300}, {4476.25, 337.5}, {4470, 400}, {4460, 500}}), pane);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->offGridPrices, std::vector<double>{4483});
    EXPECT_EQ(both->tickCount, 6);
}

TEST(PriceAxisMapTest, DuplicateReadingsFormOneTickAtTheirMeanRow) {
    const auto map = PriceAxisMap::fit(axis({{4500, 99}, {4500, 101}, {4490, 200}, {4480, 300}, {4480, NAN}, {INFINITY, 5}}), pane);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->tickCount, 3);
    EXPECT_NEAR(map->priceAtRowZero, 4510, 1e-9);
}

TEST(PriceAxisMapTest, RefusesWhatIsNotAnAxis) {
    std::vector<Label> sixtyOne;
    for (int i = 0; i < 61; ++i) sixtyOne.push_back({5000.0 - i * 5, 10.0 + i * 15});
    std::vector<Label> sixty(sixtyOne.begin(), sixtyOne.end() - 1);
    ASSERT_TRUE(PriceAxisMap::fit(sixty, pane));

    const struct {
        const char* name;
        std::vector<Label> labels;
    } refused[] = {
        {"two distinct prices", axis({{4500, 100}, {4490, 200}, {4500, 101}})},
        {"61 distinct prices", sixtyOne},
        {"prices rising downward", axis({{4470, 100}, {4480, 200}, {4490, 300}, {4500, 400}})},
        {"gaps 10, 25, 35 on a perfect line", axis({{100, 0}, {90, 100}, {65, 350}, {30, 700}})},
        {"removals leave fewer than three", axis({{4500, 100}, {4490, 200}, {4700, 300}})},
        // A volume column: values that do not fall on one line or one lattice.
        {"column of unrelated numbers", axis({{1520, 50}, {88, 130}, {9731, 210}, {402, 290}, {15, 370}, {2210, 450}})},
        {"all on one row", axis({{4500, 100}, {4490, 100}, {4480, 100}})},
    };
    for (const auto& c : refused) EXPECT_FALSE(PriceAxisMap::fit(c.labels, pane)) << c.name;
}

TEST(PriceAxisMapTest, LatticeToleratesAFewLargeGaps) {
    // Gaps 10, 10, 70 on one line: 2 of 3 gaps count.
    const auto ticks = axis({{200, 0}, {190, 100}, {180, 200}, {110, 900}});
    EXPECT_TRUE(PriceAxisMap::isTickLattice(ticks, 10));
    EXPECT_TRUE(PriceAxisMap::fit(ticks, pane));
    EXPECT_FALSE(PriceAxisMap::isTickLattice(axis({{100, 0}, {90, 100}, {65, 350}, {30, 700}}), 25));
    EXPECT_FALSE(PriceAxisMap::isTickLattice(axis({{100, 0}, {90, 100}}), 10));
    EXPECT_EQ(PriceAxisMap::median({}), std::nullopt);
    EXPECT_EQ(PriceAxisMap::median({3, 1, 2, 10}), 2.5);
    EXPECT_EQ(PriceAxisMap::medianNeighbouringGap(axis({{5, 0}, {5, 1}})), std::nullopt);
}

}  // namespace
}  // namespace halvex
