#include "core/chart/pixels/PixelFrame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "core/chart/pixels/FakeGreyBitmapScaler.h"
#include "core/chart/pixels/PixelPainter.h"

namespace halvex {

// Readable class names in failure messages.
void PrintTo(PixelFrame::ColorClass klass, std::ostream* out) {
    static const char* const names[] = {"none", "blue", "red", "orange", "other"};
    *out << names[static_cast<int>(klass)];
}

namespace {

using Bounds = PixelFrame::PixelBounds;
using ColorClass = PixelFrame::ColorClass;
using Order = PixelFrame::ChannelOrder;
using Color = PixelPainter::Color;

constexpr Color white = Color::hex(0xffffff);
constexpr Color darkGrey = Color::hex(0x434651);
constexpr Color lightGrey = Color::hex(0xe0e3eb);
constexpr Color textInk = Color::hex(0x131722);
constexpr Color longBlue = Color::hex(0x2962ff);
constexpr Color shortRed = Color::hex(0xf23645);
constexpr Color orderOrange = Color::hex(0xff9800);
constexpr Color purple = Color::hex(0x9c27b0);

PixelFrame::RGB fullySaturated(double hue) {
    // The colour of maximum value and saturation at `hue`.
    const double x = 1.0 - std::fabs(std::fmod(hue / 60.0, 2.0) - 1.0);
    switch (static_cast<int>(hue / 60.0)) {
        case 0: return {1, x, 0};
        case 1: return {x, 1, 0};
        case 2: return {0, 1, x};
        case 3: return {0, x, 1};
        case 4: return {x, 0, 1};
        default: return {1, 0, x};
    }
}

ChartNormalizedRect normalized(const PixelFrame& frame, const Bounds& bounds) { return frame.normalizedRect(bounds); }

// MARK: colour

TEST(PixelFrameColorTest, HueFollowsTheMaximumChannel) {
    EXPECT_DOUBLE_EQ((PixelFrame::RGB{0.5, 0.5, 0.5}.hue()), 0.0);
    EXPECT_NEAR((PixelFrame::RGB{1, 0, 0.5}.hue()), 330.0, 1e-9);  // red maximum, negative modulo wraps
    EXPECT_NEAR((PixelFrame::RGB{0, 1, 0}.hue()), 120.0, 1e-9);
    EXPECT_NEAR((PixelFrame::RGB{0, 0, 1}.hue()), 240.0, 1e-9);
    EXPECT_NEAR(fullySaturated(18.5).hue(), 18.5, 1e-9);
}

TEST(PixelFrameColorTest, ClassesByHueWithTheirBoundaries) {
    const struct {
        double hue;
        ColorClass expected;
    } cases[] = {
        // Inclusive bounds are probed a hair inside: the hue of a colour is computed, not given.
        {0, ColorClass::red},           {18 - 1e-9, ColorClass::red},    {18.5, ColorClass::other},
        {19 + 1e-9, ColorClass::orange}, {70 - 1e-9, ColorClass::orange}, {70.5, ColorClass::other},
        {120, ColorClass::other},       {184.5, ColorClass::other},      {185 + 1e-9, ColorClass::blue},
        {255 - 1e-9, ColorClass::blue},  {255.5, ColorClass::other},      {339.5, ColorClass::other},
        {340 + 1e-9, ColorClass::red},   {359.9, ColorClass::red},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PixelFrame::classify(fullySaturated(c.hue)), c.expected) << "hue " << c.hue;
    }
}

TEST(PixelFrameColorTest, DarkOrGreyishPixelsHaveNoClass) {
    EXPECT_EQ(PixelFrame::classify({0.27, 0, 0}), ColorClass::none);   // value below 0.28
    EXPECT_EQ(PixelFrame::classify({0.28, 0, 0}), ColorClass::red);
    EXPECT_EQ(PixelFrame::classify({1, 0.59, 0.59}), ColorClass::none);  // saturation 0.41
    EXPECT_EQ(PixelFrame::classify({1, 0.58, 0.58}), ColorClass::red);
    EXPECT_EQ(PixelFrame::classify({0, 0, 0}), ColorClass::none);
}

TEST(PixelFrameColorTest, ReadsHonourChannelOrderAndByteCount) {
    for (const Order order : {Order::rgba, Order::bgra}) {
        PixelFrame frame = PixelPainter::blankFrame(4, 3, longBlue, order);
        const auto rgb = frame.color(3, 2);
        ASSERT_TRUE(rgb);
        EXPECT_DOUBLE_EQ(rgb->red, 0x29 / 255.0);
        EXPECT_DOUBLE_EQ(rgb->blue, 1.0);
        EXPECT_EQ(frame.classAt(0, 0), ColorClass::blue);
        EXPECT_FALSE(frame.color(4, 0));
        EXPECT_FALSE(frame.color(0, -1));
        frame.rgba.resize(4 * 4 + 2);  // the second row's first pixel lacks its third byte
        EXPECT_TRUE(frame.color(3, 0));
        EXPECT_FALSE(frame.color(0, 1));
        EXPECT_EQ(frame.classAt(0, 1), ColorClass::none);
    }
}

// MARK: geometry

TEST(PixelFrameGeometryTest, PixelBoundsAtTheUnitSquareEdges) {
    const PixelFrame frame = PixelPainter::blankFrame(200, 100, white);
    const struct {
        const char* name;
        ChartNormalizedRect rect;
        Bounds expected;
    } cases[] = {
        {"entirely outside", {1.2, 0.2, 0.3, 0.3}, {0, 0, 0, 0}},
        {"below the square", {0.2, -0.5, 0.3, 0.4}, {0, 0, 0, 0}},
        {"zero width", {0.5, 0.5, 0, 0.2}, {0, 0, 0, 0}},
        {"not finite", {NAN, 0.5, 0.1, 0.1}, {0, 0, 0, 0}},
        {"the whole square", {0, 0, 1, 1}, {0, 0, 200, 100}},
        {"touching the right edge", {0.875, 0.25, 0.125, 0.25}, {175, 50, 200, 75}},
        {"sliver at the right edge", {0.9999, 0.5, 0.0001, 0.0625}, {199, 43, 200, 50}},
        {"over the top left corner", {-0.5, 0.5, 1, 1}, {0, 0, 100, 50}},
        {"thinner than a pixel", {0.5012, 0.5012, 0.001, 0.001}, {100, 49, 101, 50}},
    };
    for (const auto& c : cases) EXPECT_EQ(frame.pixelBounds(c.rect), c.expected) << c.name;
}

TEST(PixelFrameGeometryTest, NormalizedRectInvertsPixelBounds) {
    const PixelFrame frame = PixelPainter::blankFrame(256, 128, white);
    const ChartNormalizedRect rect = frame.normalizedRect({32, 16, 96, 48});
    EXPECT_EQ(rect, (ChartNormalizedRect{0.125, 0.625, 0.25, 0.25}));
    EXPECT_EQ(frame.pixelBounds(rect), (Bounds{32, 16, 96, 48}));
    EXPECT_EQ(frame.normalizedRect({30, 10, 20, 5}).width, 0.0);  // inverted bounds never give negative sizes

    const PixelFrame empty;
    EXPECT_EQ(empty.normalizedRect({0, 0, 5, 5}), ChartNormalizedRect{});
    EXPECT_EQ(empty.pixelBounds({0, 0, 1, 1}), (Bounds{0, 0, 0, 0}));
}

// MARK: building blocks

TEST(PixelFrameBuildingBlockTest, LongestRunPrefersLengthThenTheEarliest) {
    using C = ColorClass;
    const std::vector<C> classes{C::red, C::red, C::none, C::blue, C::blue, C::orange, C::orange, C::orange, C::red, C::red};
    const std::vector<C> badge{C::blue, C::red};
    EXPECT_EQ(PixelFrame::longestRun(classes, badge, 2), (PixelFrame::ClassRun{C::red, 0, 2}));
    EXPECT_EQ(PixelFrame::longestRun(classes, {C::orange}, 2), (PixelFrame::ClassRun{C::orange, 5, 8}));
    EXPECT_FALSE(PixelFrame::longestRun(classes, badge, 3));
    EXPECT_FALSE(PixelFrame::longestRun({}, badge, 0));
}

TEST(PixelFrameBuildingBlockTest, DominantClassNeedsMoreThanHalf) {
    PixelFrame frame = PixelPainter::blankFrame(3, 10, white);
    PixelPainter painter(frame);
    painter.fillRect({0, 0, 1, 6}, longBlue);  // 6 of 10
    painter.fillRect({1, 0, 2, 5}, longBlue);  // 5 of 10
    EXPECT_EQ(frame.dominantClass(0, 0, 10), ColorClass::blue);
    EXPECT_EQ(frame.dominantClass(1, 0, 10), ColorClass::none);
    EXPECT_EQ(frame.dominantClass(1, -20, 5), ColorClass::blue);  // only in-frame rows are sampled
    EXPECT_EQ(frame.dominantClass(0, 5, 5), ColorClass::none);
    EXPECT_EQ(frame.dominantClass(7, 0, 10), ColorClass::none);
}

TEST(PixelFrameBuildingBlockTest, VerticalExtentStopsAtTheClassOrTheFrameEdge) {
    PixelFrame frame = PixelPainter::blankFrame(10, 20, white);
    PixelPainter painter(frame);
    painter.fillRect({0, 0, 4, 12}, shortRed);
    EXPECT_EQ(frame.verticalExtent(1, 5, ColorClass::red), (PixelFrame::Span{0, 12}));
    EXPECT_EQ(frame.verticalExtent(8, 5, ColorClass::red), (PixelFrame::Span{5, 6}));  // the centre row always counts
    EXPECT_EQ(frame.verticalExtent(PixelFrame::Span{2, 9}, 5, ColorClass::red), (PixelFrame::Span{0, 12}));
    EXPECT_EQ(frame.verticalExtent(PixelFrame::Span{6, 6}, 5, ColorClass::red), (PixelFrame::Span{5, 6}));
}

TEST(PixelFrameBuildingBlockTest, LineCoverageCountsColumnsRightToLeft) {
    PixelFrame frame = PixelPainter::blankFrame(100, 10, white);
    PixelPainter(frame).horizontalLine(4, 50, 100, longBlue);
    const auto reference = *frame.color(60, 4);
    EXPECT_DOUBLE_EQ(*frame.lineCoverage(4, 99, 39, reference), 50.0 / 60.0);
    EXPECT_DOUBLE_EQ(*frame.lineCoverage(4, 109, 89, reference), 0.5);  // columns outside the frame miss
    EXPECT_FALSE(frame.lineCoverage(10, 99, 39, reference));
    EXPECT_FALSE(frame.lineCoverage(4, 39, 39, reference));
    EXPECT_TRUE(PixelFrame::matchesLine(*frame.color(60, 4), {0.2, 0.4, 0.9}));
    EXPECT_FALSE(PixelFrame::matchesLine(*frame.color(60, 4), {0.9, 0.2, 0.2}));   // hue too far
    EXPECT_FALSE(PixelFrame::matchesLine({0.2, 0.2, 0.24}, {0.0, 0.0, 0.0}));       // too dark
}

TEST(PixelFrameBuildingBlockTest, SolidAreaIsNotAPositionLine) {
    // A bar as tall as the badge covers the rows above and below the line row as well.
    PixelFrame frame = PixelPainter::blankFrame(400, 200, white);
    PixelPainter painter(frame);
    painter.fillRect({0, 80, 300, 120}, longBlue);
    const auto reference = *frame.color(10, 100);
    EXPECT_DOUBLE_EQ(frame.positionLineCoverage(300, 100, reference, 4, std::nullopt), 1.0);
    EXPECT_DOUBLE_EQ(frame.positionLineCoverage(300, 100, reference, 4, 24), 0.0);
    // A thin line keeps its coverage.
    PixelFrame lined = PixelPainter::blankFrame(400, 200, white);
    PixelPainter(lined).horizontalLine(100, 0, 300, longBlue);
    EXPECT_DOUBLE_EQ(lined.positionLineCoverage(300, 100, reference, 4, 24), 1.0);
    // Too little room left of the badge.
    EXPECT_DOUBLE_EQ(lined.positionLineCoverage(8, 100, reference, 4, 24), 0.0);
}

// MARK: panes

struct PaneCase {
    const char* name;
    std::int64_t width;
    std::vector<std::pair<std::int64_t, std::int64_t>> dividers;  // (x, thickness)
    Color dividerColor;
    std::vector<PixelFrame::PaneBounds> expected;
};

// White charts with a few candles each, so chart columns are not all flat.
PixelFrame paneFrame(const PaneCase& c, Order order) {
    PixelFrame frame = PixelPainter::blankFrame(c.width, 400, white, order);
    PixelPainter painter(frame);
    for (std::int64_t x = 7; x < c.width; x += 13) painter.fillRect({x, 100 + x % 90, x + 5, 220 + x % 70}, Color::hex(0x089981));
    for (const auto& [x, thickness] : c.dividers) painter.verticalDivider(x, thickness, c.dividerColor);
    return frame;
}

TEST(PixelFrameChartPanesTest, SplitsAtThinDividersAndMergesNarrowPanes) {
    const PaneCase cases[] = {
        {"319 pixels wide is one pane", 319, {{160, 2}}, darkGrey, {{0, 319}}},
        {"320 pixels wide splits", 320, {{160, 2}}, darkGrey, {{0, 160}, {162, 320}}},
        {"divider inside", 1000, {{500, 2}}, darkGrey, {{0, 500}, {502, 1000}}},
        {"divider at column 0", 1000, {{0, 2}}, darkGrey, {{0, 1000}}},
        {"divider too wide", 1000, {{500, 6}}, darkGrey, {{0, 1000}}},
        {"widest divider", 1000, {{500, 5}}, darkGrey, {{0, 500}, {505, 1000}}},
        {"divider too close to the chart colour", 1000, {{500, 2}}, Color::hex(0xeeeeee), {{0, 1000}}},
        {"narrow middle strip joins its left neighbour", 1000, {{450, 2}, {552, 2}}, darkGrey, {{0, 552}, {554, 1000}}},
        {"narrow first pane joins the second", 1000, {{100, 1}, {550, 1}}, darkGrey, {{0, 550}, {551, 1000}}},
        {"only a narrow pane besides one", 1000, {{900, 2}}, darkGrey, {{0, 1000}}},
    };
    for (const auto& c : cases) {
        for (const Order order : {Order::rgba, Order::bgra}) {
            EXPECT_EQ(paneFrame(c, order).detectChartPanes(), c.expected) << c.name;
        }
    }
}

TEST(PixelFrameChartPanesTest, TinyOrTruncatedFramesAreOnePane) {
    EXPECT_EQ(PixelPainter::blankFrame(1000, 159, white).detectChartPanes(), (std::vector<PixelFrame::PaneBounds>{{0, 1000}}));
    PixelFrame truncated = paneFrame({"", 1000, {{500, 2}}, darkGrey, {}}, Order::rgba);
    truncated.rgba.resize(truncated.rgba.size() / 20);  // no row of the sampled band left
    EXPECT_EQ(truncated.detectChartPanes(), (std::vector<PixelFrame::PaneBounds>{{0, 1000}}));
}

// MARK: badge probes

struct BadgeScene {
    PixelFrame frame;
    Bounds badge{600, 290, 625, 314};
    Bounds text{632, 294, 690, 310};
};

enum class Line { none, solid, dashed };

BadgeScene badgeScene(Color badgeColor, Line line, Order order, Color background = white) {
    BadgeScene scene{PixelPainter::blankFrame(1000, 600, background, order)};
    PixelPainter painter(scene.frame);
    if (line != Line::none) {
        painter.horizontalLine(302, 0, 600, badgeColor, 1,
                               line == Line::dashed ? PixelPainter::LineStyle::dashed : PixelPainter::LineStyle::solid, 6, 4);
    }
    painter.badge(scene.badge, badgeColor);
    painter.fillRect({625, 290, 720, 314}, white);
    painter.textNoise(scene.text, textInk, 7);
    return scene;
}

TEST(PixelFrameBadgeProbeTest, BlueAndRedBadgesWithAndWithoutALine) {
    const struct {
        Color color;
        const char* role;
        Line line;
        double coverageLow;
        double coverageHigh;
    } cases[] = {
        {longBlue, PixelFrame::BadgeProbe::activeLong, Line::solid, 1.0, 1.0},
        {longBlue, PixelFrame::BadgeProbe::activeLong, Line::none, 0.0, 0.0},
        {longBlue, PixelFrame::BadgeProbe::activeLong, Line::dashed, 0.55, 0.65},
        {shortRed, PixelFrame::BadgeProbe::activeShort, Line::solid, 1.0, 1.0},
        {shortRed, PixelFrame::BadgeProbe::activeShort, Line::none, 0.0, 0.0},
        {shortRed, PixelFrame::BadgeProbe::activeShort, Line::dashed, 0.55, 0.65},
    };
    for (const Order order : {Order::rgba, Order::bgra}) {
        for (const auto& c : cases) {
            const BadgeScene scene = badgeScene(c.color, c.line, order);
            const std::string name = std::string(c.role) + " line " + std::to_string(static_cast<int>(c.line)) +
                                     (order == Order::bgra ? " bgra" : " rgba");
            for (const bool containsQuantity : {false, true}) {
                const Bounds textBounds = containsQuantity ? Bounds{600, 294, 690, 310} : scene.text;
                const auto probe = scene.frame.probeBadge(normalized(scene.frame, textBounds), containsQuantity);
                EXPECT_EQ(probe.role, c.role) << name;
                EXPECT_EQ(probe.bounds, scene.badge) << name;
                EXPECT_GE(probe.lineCoverage, c.coverageLow) << name;
                EXPECT_LE(probe.lineCoverage, c.coverageHigh) << name;
            }
        }
    }
}

TEST(PixelFrameBadgeProbeTest, UncolouredOrUnfilledNeighbourhoods) {
    const struct {
        const char* name;
        Color fill;
        const char* role;
    } cases[] = {
        {"orange order chip", orderOrange, PixelFrame::BadgeProbe::unfilledOrder},
        {"grey chip", lightGrey, PixelFrame::BadgeProbe::noBadge},
        {"purple chip", purple, PixelFrame::BadgeProbe::ambiguousColoredLabel},
        {"hue 18.5 is neither red nor orange", Color{255, 79, 0}, PixelFrame::BadgeProbe::ambiguousColoredLabel},
    };
    for (const Order order : {Order::rgba, Order::bgra}) {
        for (const auto& c : cases) {
            const BadgeScene scene = badgeScene(c.fill, Line::solid, order);
            for (const bool containsQuantity : {false, true}) {
                const auto probe = scene.frame.probeBadge(normalized(scene.frame, scene.text), containsQuantity);
                EXPECT_EQ(probe.role, c.role) << c.name;
                EXPECT_EQ(probe.lineCoverage, 0.0) << c.name;
                EXPECT_FALSE(probe.bounds) << c.name;
            }
        }
    }
    const BadgeScene scene = badgeScene(longBlue, Line::solid, Order::rgba);
    EXPECT_EQ(scene.frame.probeBadge({1.5, 0.5, 0.1, 0.1}, true).role, PixelFrame::BadgeProbe::noBadge);
}

TEST(PixelFrameBadgeProbeTest, TextOverASolidBarHasNoLine) {
    PixelFrame frame = PixelPainter::blankFrame(1000, 600, white);
    PixelPainter painter(frame);
    painter.fillRect({0, 280, 900, 324}, longBlue);
    painter.textNoise({632, 294, 690, 310}, Color{255, 255, 255}, 3);
    const auto probe = frame.probeBadge(normalized(frame, {632, 294, 690, 310}), false);
    EXPECT_EQ(probe.role, PixelFrame::BadgeProbe::activeLong);
    ASSERT_TRUE(probe.bounds);
    EXPECT_EQ(probe.bounds->minY, 280);
    EXPECT_EQ(probe.bounds->maxY, 324);
    EXPECT_EQ(probe.lineCoverage, 0.0);
}

TEST(PixelFrameRelocateBadgeTest, FindsTheBadgeAfterAScroll) {
    for (const Order order : {Order::rgba, Order::bgra}) {
        const BadgeScene scene = badgeScene(shortRed, Line::solid, order);
        const Bounds remembered{590, 250, 615, 274};  // 40 rows above and 10 columns left of today's badge
        const auto found = scene.frame.relocateBadge(normalized(scene.frame, remembered), -1, 3.0, 2.5);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->role, PixelFrame::BadgeProbe::activeShort);
        EXPECT_EQ(found->bounds, scene.badge);
        EXPECT_DOUBLE_EQ(found->lineCoverage, 1.0);
        EXPECT_FALSE(scene.frame.relocateBadge(normalized(scene.frame, remembered), 1, 3.0, 2.5)) << "wrong side";
        EXPECT_FALSE(scene.frame.relocateBadge(normalized(scene.frame, {590, 150, 615, 174}), -1, 3.0, 2.5)) << "too far";
        EXPECT_TRUE(scene.frame.relocateBadge(normalized(scene.frame, {590, 150, 615, 174}), -1, 14.0, 4.0)) << "widened";
    }
}

TEST(PixelFrameRelocateBadgeTest, RefusesAreasOfTheWrongHeight) {
    PixelFrame frame = PixelPainter::blankFrame(1000, 600, white);
    PixelPainter(frame).fillRect({600, 200, 640, 300}, longBlue);  // 100 rows: more than 2.5 badge heights
    EXPECT_FALSE(frame.relocateBadge(normalized(frame, {600, 240, 640, 264}), 1, 3.0, 2.5));
    EXPECT_FALSE(frame.relocateBadge({2, 2, 0.1, 0.1}, 1, 3.0, 2.5));
    EXPECT_FALSE(frame.relocateBadge(normalized(frame, {600, 240, 640, 264}), 1, NAN, INFINITY));
}

// MARK: label crops

TEST(PixelFrameLabelCropTest, CropsGreyAroundBadgeAndLabelAndMagnifies) {
    for (const Order order : {Order::rgba, Order::bgra}) {
        PixelFrame frame = PixelPainter::blankFrame(400, 200, white, order);
        PixelPainter painter(frame);
        painter.fillRect({100, 90, 120, 110}, longBlue);
        painter.fillRect({125, 95, 180, 105}, Color{0, 0, 0});
        FakeGreyBitmapScaler scaler;
        const auto crop = frame.labelCrop({100, 90, 120, 110}, {120, 92, 180, 108}, 40, scaler);
        ASSERT_TRUE(crop);
        // Row height 20, margin 10: columns 90..200, rows 80..120.
        EXPECT_EQ(crop->origin, (Bounds{90, 80, 200, 120}));
        EXPECT_EQ(crop->image.width, 220);
        EXPECT_EQ(crop->image.height, 80);
        EXPECT_DOUBLE_EQ(crop->scaleX, 2.0);
        EXPECT_DOUBLE_EQ(crop->scaleY, 2.0);
        EXPECT_EQ(crop->image.at(0, 0), 255);                           // white background
        EXPECT_EQ(crop->image.at((130 - 90) * 2, (100 - 80) * 2), 0);    // black text
        const int blueGrey = static_cast<int>(std::round(0.299 * 0x29 + 0.587 * 0x62 + 0.114 * 0xff));
        EXPECT_EQ(crop->image.at((110 - 90) * 2, (100 - 80) * 2), blueGrey);
        EXPECT_EQ(scaler.calls(), 1);
    }
}

TEST(PixelFrameLabelCropTest, RefusesOutOfBoundsSizesAndScalerFailures) {
    const PixelFrame frame = PixelPainter::blankFrame(400, 200, white);
    FakeGreyBitmapScaler scaler;
    const Bounds badge{100, 90, 120, 110};
    const Bounds label{120, 92, 180, 108};
    EXPECT_FALSE(frame.labelCrop(badge, label, 0.5, scaler));
    EXPECT_FALSE(frame.labelCrop(badge, label, NAN, scaler));
    EXPECT_FALSE(frame.labelCrop(badge, label, 2000, scaler));  // 11000 pixels wide
    EXPECT_FALSE(frame.labelCrop(badge, label, 2, scaler));     // 11 × 4 pixels
    EXPECT_FALSE(frame.labelCrop({396, 197, 399, 199}, {396, 197, 399, 199}, 40, scaler));  // crop narrower than 8
    EXPECT_EQ(scaler.calls(), 0);
    scaler.setFailing(true);
    EXPECT_FALSE(frame.labelCrop(badge, label, 40, scaler));
    EXPECT_EQ(scaler.calls(), 1);
}

}  // namespace
}  // namespace halvex
