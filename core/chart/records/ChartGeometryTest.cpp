#include <gtest/gtest.h>

#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartRecordTestSamples.h"

namespace halvex {
namespace {

using testing::expectStrictDecoding;
using testing::keysOf;
using testing::throughWire;

TEST(ChartNormalizedRect, DerivedEdgesAndCentres) {
    const ChartNormalizedRect rect{0.25, 0.5, 0.5, 0.25};
    EXPECT_DOUBLE_EQ(rect.maxX(), 0.75);
    EXPECT_DOUBLE_EQ(rect.maxY(), 0.75);
    EXPECT_DOUBLE_EQ(rect.centerX(), 0.5);
    EXPECT_DOUBLE_EQ(rect.centerY(), 0.625);
}

TEST(ChartNormalizedRect, UnionHoldsBothAndIsIdempotent) {
    const ChartNormalizedRect a{0.1, 0.2, 0.2, 0.1};
    const ChartNormalizedRect b{0.5, 0.0, 0.1, 0.1};
    const auto both = a.unionWith(b);
    EXPECT_DOUBLE_EQ(both.x, 0.1);
    EXPECT_DOUBLE_EQ(both.y, 0.0);
    EXPECT_DOUBLE_EQ(both.width, 0.5);
    EXPECT_DOUBLE_EQ(both.height, 0.3);
    EXPECT_EQ(a.unionWith(a), a);
    const ChartNormalizedRect inner{0.15, 0.22, 0.05, 0.03};
    EXPECT_EQ(a.unionWith(inner), a);
    EXPECT_EQ(inner.unionWith(a), a);
}

TEST(ChartNormalizedRect, OnlyOverlappingInteriorsIntersect) {
    const ChartNormalizedRect a{0.0, 0.0, 0.5, 0.5};
    EXPECT_FALSE(a.intersects({0.5, 0.0, 0.5, 0.5}));   // shares the right edge
    EXPECT_FALSE(a.intersects({0.0, 0.5, 0.5, 0.5}));   // shares the top edge
    EXPECT_FALSE(a.intersects({0.5, 0.5, 0.1, 0.1}));   // shares a corner
    EXPECT_TRUE(a.intersects({0.49, 0.49, 0.1, 0.1}));
    EXPECT_TRUE(a.intersects({0.1, 0.1, 0.1, 0.1}));    // contained
}

TEST(ChartNormalizedRect, PlausiblySameBadgeBoundsAreInclusive) {
    // A unit receiver makes each ratio exactly the other rectangle's size, so the bounds are hit
    // exactly.
    const ChartNormalizedRect badge{0.0, 0.0, 1.0, 1.0};
    struct Case {
        double width;
        double height;
        bool expected;
    };
    const Case cases[] = {
        {1.0, 1.0, true},   {0.45, 1.0, true},   {2.2, 1.0, true},   {1.0, 0.55, true},  {1.0, 1.8, true},
        {0.449, 1.0, false}, {2.201, 1.0, false}, {1.0, 0.549, false}, {1.0, 1.801, false}, {0.0, 1.0, false},
        {1.0, 0.0, false},  {-1.0, 1.0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(badge.plausiblySameBadge({0.1, 0.1, c.width, c.height}), c.expected)
            << c.width << " x " << c.height;
    }
    EXPECT_FALSE((ChartNormalizedRect{0.5, 0.5, 0.02, 0.04}).plausiblySameBadge({0.5, 0.5, 0.02, 0.10}));
    const ChartNormalizedRect flat{0.5, 0.5, 0.02, 0.0};
    EXPECT_FALSE(flat.plausiblySameBadge(flat));
    EXPECT_FALSE(flat.plausiblySameBadge(badge));
    EXPECT_FALSE((ChartNormalizedRect{0.5, 0.5, 0.0, 0.04}).plausiblySameBadge(badge));
}

TEST(ChartPane, LabelWidthAndSingle) {
    EXPECT_EQ((ChartPane{1, 3, 0.33, 0.66}).label(), "pane 2/3");
    const auto single = ChartPane::single();
    EXPECT_EQ(single, (ChartPane{0, 1, 0.0, 1.0}));
    EXPECT_DOUBLE_EQ(single.width(), 1.0);
    EXPECT_DOUBLE_EQ(single.centerX(), 0.5);
    EXPECT_EQ(single.label(), "pane 1/1");
}

TEST(ChartGeometryJSON, KeysRoundTripAndStrictDecoding) {
    const ChartNormalizedRect rect{0.125, 0.5, 0.25, 0.0625};
    const auto rectJSON = throughWire(toJSON(rect));
    EXPECT_EQ(keysOf(rectJSON), (std::set<std::string>{"x", "y", "width", "height"}));
    EXPECT_EQ(chartNormalizedRectFromJSON(rectJSON), rect);
    expectStrictDecoding(rectJSON, chartNormalizedRectFromJSON, {"x", "y", "width", "height"});

    const ChartPane pane{1, 2, 0.5, 1.0};
    const auto paneJSON = throughWire(toJSON(pane));
    EXPECT_EQ(keysOf(paneJSON), (std::set<std::string>{"index", "count", "minX", "maxX"}));
    EXPECT_TRUE(paneJSON.at("index").is_number_integer());
    EXPECT_EQ(chartPaneFromJSON(paneJSON), pane);
    expectStrictDecoding(paneJSON, chartPaneFromJSON, {"index", "count", "minX", "maxX"});
}

TEST(ChartGeometryJSON, IntegerFieldsRefuseFractionsButAcceptIntegralFloats) {
    auto json = toJSON(ChartPane{0, 2, 0.0, 0.5});
    json["count"] = 2.0;
    EXPECT_EQ(chartPaneFromJSON(json).count, 2);
    json["count"] = 2.5;
    EXPECT_THROW(chartPaneFromJSON(json), nlohmann::json::exception);
    json["count"] = 1e19;
    EXPECT_THROW(chartPaneFromJSON(json), nlohmann::json::exception);
    json["count"] = std::uint64_t{9'300'000'000'000'000'000ULL};
    EXPECT_THROW(chartPaneFromJSON(json), nlohmann::json::exception);
}

}  // namespace
}  // namespace halvex
