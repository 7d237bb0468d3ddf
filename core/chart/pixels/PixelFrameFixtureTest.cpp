// The pixel analyses on rendered TradingView-style pictures with exact ground truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/chart/pixels/PixelFrame.h"
#include "tests/support/pixels/PngFixture.h"

namespace halvex {
namespace {

using Bounds = PixelFrame::PixelBounds;

struct Picture {
    std::string name;
    nlohmann::json truth;
    PixelFrame rgba;
    PixelFrame bgra;
};

Bounds boundsFrom(const nlohmann::json& json) {
    return {json.at("minX").get<std::int64_t>(), json.at("minY").get<std::int64_t>(), json.at("maxX").get<std::int64_t>(),
            json.at("maxY").get<std::int64_t>()};
}

std::string describe(const Bounds& b) {
    std::ostringstream text;
    text << "(" << b.minX << "," << b.minY << ")-(" << b.maxX << "," << b.maxY << ")";
    return text.str();
}

std::vector<Picture> tradingViewPictures() {
    std::vector<Picture> pictures;
    const std::filesystem::path folder = testing::chartlabFixturesDirectory();
    std::vector<std::filesystem::path> truths;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 11 && name.ends_with(".truth.json")) truths.push_back(entry.path());
    }
    std::sort(truths.begin(), truths.end());
    for (const auto& path : truths) {
        std::ifstream stream(path);
        nlohmann::json truth = nlohmann::json::parse(stream);
        if (truth.at("platform") != "tradingview") continue;
        const auto png = testing::decodePngFile((folder / truth.at("image").get<std::string>()).string());
        if (!png) {
            ADD_FAILURE() << "cannot decode " << truth.at("image");
            continue;
        }
        Picture picture{truth.at("scene").get<std::string>(), truth, {png->width, png->height, png->rgba, PixelFrame::ChannelOrder::rgba}, {}};
        picture.bgra = picture.rgba;
        picture.bgra.channelOrder = PixelFrame::ChannelOrder::bgra;
        for (std::size_t i = 0; i + 3 < picture.bgra.rgba.size(); i += 4) std::swap(picture.bgra.rgba[i], picture.bgra.rgba[i + 2]);
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

const std::vector<Picture>& pictures() {
    static const std::vector<Picture> loaded = tradingViewPictures();
    return loaded;
}

// The truth's panes are the chart areas only: the outer detected panes may also hold the toolbars
// and side panels, but the split points must sit at the truth's dividers.
bool panesAgree(const std::vector<PixelFrame::PaneBounds>& detected, const nlohmann::json& truthPanes) {
    if (detected.size() != truthPanes.size()) return false;
    constexpr std::int64_t tolerance = 2;
    for (std::size_t i = 0; i < detected.size(); ++i) {
        const std::int64_t minX = truthPanes[i].at("minX").get<std::int64_t>();
        const std::int64_t maxX = truthPanes[i].at("maxX").get<std::int64_t>();
        const bool first = i == 0;
        const bool last = i + 1 == detected.size();
        if (first ? detected[i].minX > minX + tolerance : std::abs(detected[i].minX - minX) > tolerance) return false;
        if (last ? detected[i].maxX < maxX - tolerance : std::abs(detected[i].maxX - maxX) > tolerance) return false;
    }
    return true;
}

// Found bounds are close to the truth's badge when every edge is within a fifth of the badge height
// (at least 2 pixels): anti-aliased corners and digits shave a column or a row here and there.
bool boundsClose(const std::optional<Bounds>& found, const Bounds& truth) {
    if (!found) return false;
    const std::int64_t tolerance = std::max<std::int64_t>(2, truth.height() / 5);
    return std::abs(found->minX - truth.minX) <= tolerance && std::abs(found->maxX - truth.maxX) <= tolerance &&
           std::abs(found->minY - truth.minY) <= tolerance && std::abs(found->maxY - truth.maxY) <= tolerance;
}

TEST(PixelFrameFixtureTest, ChartPanesMatchTheTruthsDividers) {
    ASSERT_EQ(pictures().size(), 38u);
    const std::set<std::string> knownDisagreements{};  // none: every picture splits at the truth's dividers
    int agreeing = 0;
    for (const Picture& picture : pictures()) {
        const auto detected = picture.rgba.detectChartPanes();
        const bool agrees = panesAgree(detected, picture.truth.at("panes"));
        if (agrees) ++agreeing;
        std::ostringstream found;
        for (const auto& pane : detected) found << " [" << pane.minX << "," << pane.maxX << ")";
        if (!agrees || knownDisagreements.contains(picture.name)) {
            std::cout << picture.name << " panes:" << found.str() << " truth " << picture.truth.at("panes").dump() << "\n";
        }
        EXPECT_EQ(agrees, !knownDisagreements.contains(picture.name)) << picture.name << found.str();
        EXPECT_EQ(picture.bgra.detectChartPanes(), detected) << picture.name;
    }
    std::cout << "chart panes agree on " << agreeing << " of " << pictures().size() << " pictures\n";
}

// Where the rules and a picture disagree:
// - scene-031, scene-036: candles of the badge's own colour touch the badge above or below, so the
//   vertical extent runs on through them (to 82 and 35 rows for badges 19 and 25 rows high); the
//   relocation of scene-031 then refuses the over-tall badge.
// - scene-034, scene-045, scene-048: the badge's digit "1" is a white stroke over about half the
//   badge height. Only a band centred within a row or two of the badge's centre sees that column as
//   blue; relocation samples candidate rows every quarter badge height, misses that window and keeps
//   the earliest row with the longest run, so it stops at the digit (half the badge's width on
//   scene-034 and scene-045) or, on scene-048 where both halves are shorter than half the height,
//   finds no run at all. The probe centred on the badge reads all three correctly.
const std::set<std::string> badgeDisagreements{"scene-031", "scene-034", "scene-036", "scene-045", "scene-048"};

struct BadgeCase {
    const Picture* picture;
    Bounds badge;
    int side;
    const char* role;
};

std::vector<BadgeCase> badgeCases() {
    std::vector<BadgeCase> cases;
    for (const Picture& picture : pictures()) {
        const auto& truth = picture.truth;
        if (truth.at("badgeRect").is_null() || truth.at("position").is_null()) continue;
        const int side = truth.at("position").get<double>() > 0 ? 1 : -1;
        cases.push_back({&picture, boundsFrom(truth.at("badgeRect")), side,
                         side > 0 ? PixelFrame::BadgeProbe::activeLong : PixelFrame::BadgeProbe::activeShort});
    }
    return cases;
}

TEST(PixelFrameFixtureTest, BadgeProbesAtTheTruthsBadgeGiveItsSideAndBounds) {
    int agreeing = 0;
    const auto cases = badgeCases();
    for (const BadgeCase& c : cases) {
        const Picture& picture = *c.picture;
        bool agrees = true;
        std::ostringstream notes;
        for (const PixelFrame* frame : {&picture.rgba, &picture.bgra}) {
            const auto badgeRect = frame->normalizedRect(c.badge);
            const auto probed = frame->probeBadge(badgeRect, true);
            const auto relocated = frame->relocateBadge(badgeRect, c.side, 3.0, 2.5);
            EXPECT_EQ(probed.role, c.role) << picture.name;  // the side holds even where the bounds do not
            for (const auto& [what, probe] : {std::pair{"probed", std::optional(probed)}, std::pair{"relocated", relocated}}) {
                if (probe && probe->role == c.role && boundsClose(probe->bounds, c.badge)) continue;
                agrees = false;
                notes << " " << what << ": " << (probe ? probe->role : "nothing") << " "
                      << (probe && probe->bounds ? describe(*probe->bounds) : "") << ";";
            }
        }
        if (agrees) ++agreeing;
        const bool known = badgeDisagreements.contains(picture.name);
        if (!agrees) std::cout << picture.name << " truth " << describe(c.badge) << notes.str() << "\n";
        EXPECT_EQ(agrees, !known) << picture.name << " truth " << describe(c.badge) << notes.str();
    }
    std::cout << "badge probe and relocation agree on " << agreeing << " of " << cases.size()
              << " pictures with a badge\n";
    EXPECT_GE(agreeing, 27);
}

// A recogniser's box of the P&L glyphs alone, right of the badge: the band is only the glyph height,
// so a digit stroke of the badge fills most of it and the badge's span stops at its first digit. The
// side and the badge's left, top and bottom edges still come out.
TEST(PixelFrameFixtureTest, BadgeProbesBesideTheAmountGiveItsSide) {
    int fullBounds = 0;
    const auto cases = badgeCases();
    for (const BadgeCase& c : cases) {
        const Picture& picture = *c.picture;
        const PixelFrame& frame = picture.rgba;
        const auto probe = frame.probeBadge(frame.normalizedRect(boundsFrom(picture.truth.at("pnlTextRect"))), false);
        EXPECT_EQ(probe.role, c.role) << picture.name;
        ASSERT_TRUE(probe.bounds) << picture.name;
        if (boundsClose(probe.bounds, c.badge)) ++fullBounds;
        const std::int64_t tolerance = std::max<std::int64_t>(2, c.badge.height() / 5);
        EXPECT_LE(std::abs(probe.bounds->minX - c.badge.minX), tolerance) << picture.name;
        EXPECT_GT(probe.bounds->maxX, c.badge.minX + c.badge.height() / 5) << picture.name;
        EXPECT_LE(probe.bounds->maxX, c.badge.maxX + tolerance) << picture.name;
        if (!badgeDisagreements.contains(picture.name)) {
            EXPECT_LE(std::abs(probe.bounds->minY - c.badge.minY), tolerance) << picture.name;
            EXPECT_LE(std::abs(probe.bounds->maxY - c.badge.maxY), tolerance) << picture.name;
        }
        EXPECT_EQ(picture.bgra.probeBadge(frame.normalizedRect(boundsFrom(picture.truth.at("pnlTextRect"))), false), probe)
            << picture.name;
    }
    std::cout << "probes beside the amount: side right on all " << cases.size() << ", whole badge width on "
              << fullBounds << "\n";
}

TEST(PixelFrameFixtureTest, UnfilledOrdersAreNotPositions) {
    int orders = 0;
    int unfilled = 0;
    for (const Picture& picture : pictures()) {
        for (const auto& order : picture.truth.at("orders")) {
            if (order.at("kind") != "unfilled-order" || !order.contains("badgeRect")) continue;
            ++orders;
            const auto probe = picture.rgba.probeBadge(picture.rgba.normalizedRect(boundsFrom(order.at("badgeRect"))), true);
            if (probe.role == PixelFrame::BadgeProbe::unfilledOrder) ++unfilled;
            EXPECT_NE(probe.role, PixelFrame::BadgeProbe::activeLong) << picture.name << " " << order.at("text");
            EXPECT_NE(probe.role, PixelFrame::BadgeProbe::activeShort) << picture.name << " " << order.at("text");
        }
    }
    std::cout << "unfilled orders read as unfilled-order: " << unfilled << " of " << orders << "\n";
}

}  // namespace
}  // namespace halvex
