#include <gtest/gtest.h>

#include "core/chart/watcher/ChartDetectionMemory.h"

namespace halvex {
namespace {

using Sighting = ChartDetectionMemory::Sighting;

ChartTradeObservation reading(double position, double at, double confidence = 0.92) {
    ChartTradeObservation o;
    o.observedAt = at;
    o.detected = true;
    o.position = position;
    o.pnl = 12.5;
    o.currency = "USD";
    o.confidence = confidence;
    o.textSnippets = {"2 +12.50 USD"};
    o.takeProfit = ChartProtectiveLevel{50, "USD", {}, {}};
    o.stopLoss = ChartProtectiveLevel{-25, "USD", {}, 4990.0};
    o.pane = ChartPane{0, 2, 0.0, 0.5};
    o.symbol = "NQ1!";
    o.evidence = {"filled-position-badge"};
    o.entryPrice = 5000;
    o.viewportShift = 0.001;
    o.platform = ChartPlatform::tradingview;
    return o;
}

Sighting sighting(double badgeWidth, double badgeHeight, std::int64_t side = 1, double x = 0.6) {
    return {ChartNormalizedRect{x, 0.4, 0.1, 0.03}, ChartNormalizedRect{x - 0.02, 0.4, badgeWidth, badgeHeight},
            side};
}

TEST(ChartDetectionMemory, RecordsOnlyReadablePositions) {
    ChartDetectionMemory memory;
    ASSERT_TRUE(memory.recordRead(reading(1, 10), sighting(0.02, 0.04)));
    // Build up one refusal so that a later unreadable offer can be seen not to reset it.
    ASSERT_FALSE(memory.recordRead(reading(1, 11), sighting(0.02, 0.10)));
    ASSERT_EQ(memory.rejectedSightings(), 1);

    auto noPosition = reading(1, 12);
    noPosition.position.reset();
    auto undetected = reading(1, 12);
    undetected.detected = false;
    for (const auto& bad : {reading(0, 12), reading(std::nan(""), 12), noPosition, undetected}) {
        const auto before = memory;
        EXPECT_FALSE(memory.recordRead(bad, sighting(0.02, 0.04)));
        EXPECT_EQ(memory, before);
    }
    EXPECT_EQ(memory.rejectedSightings(), 1);
}

TEST(ChartDetectionMemory, AnUnlikeBadgeIsRefusedTwiceThenAccepted) {
    ChartDetectionMemory memory;
    ASSERT_TRUE(memory.recordRead(reading(2, 10), sighting(0.02, 0.04)));
    const auto stray = sighting(0.02, 0.10, 1, 0.2);

    EXPECT_FALSE(memory.recordRead(reading(5, 11), stray));
    EXPECT_EQ(memory.rejectedSightings(), 1);
    EXPECT_FALSE(memory.recordRead(reading(5, 12), stray));
    EXPECT_EQ(memory.rejectedSightings(), 2);
    EXPECT_EQ(memory.sighting(), sighting(0.02, 0.04));
    EXPECT_EQ(memory.lastRead()->position, 2.0);

    EXPECT_TRUE(memory.recordRead(reading(5, 13), stray));
    EXPECT_EQ(memory.rejectedSightings(), 0);
    EXPECT_EQ(memory.sighting(), stray);
    EXPECT_EQ(memory.lastReadAt(), 13.0);
    EXPECT_EQ(memory.lastRead()->position, 5.0);
}

TEST(ChartDetectionMemory, AMatchingBadgeResetsTheRefusals) {
    ChartDetectionMemory memory;
    ASSERT_TRUE(memory.recordRead(reading(2, 10), sighting(0.02, 0.04)));
    EXPECT_FALSE(memory.recordRead(reading(2, 11), sighting(0.02, 0.10)));
    // Width may grow with more digits; within the bounds the badge is the same one.
    EXPECT_TRUE(memory.recordRead(reading(12, 12), sighting(0.04, 0.04 * 0.6)));
    EXPECT_EQ(memory.rejectedSightings(), 0);
    EXPECT_FALSE(memory.recordRead(reading(2, 13), sighting(0.0005, 0.04 * 0.6)));
    EXPECT_EQ(memory.rejectedSightings(), 1);
}

TEST(ChartDetectionMemory, AReadingWithoutASightingKeepsTheRememberedOne) {
    ChartDetectionMemory memory;
    ASSERT_TRUE(memory.recordRead(reading(2, 10), sighting(0.02, 0.04)));
    EXPECT_TRUE(memory.recordRead(reading(3, 11), std::nullopt));
    EXPECT_EQ(memory.sighting(), sighting(0.02, 0.04));
    EXPECT_EQ(memory.lastRead()->position, 3.0);

    ChartDetectionMemory empty;
    EXPECT_TRUE(empty.recordRead(reading(1, 5), std::nullopt));
    EXPECT_EQ(empty.sighting(), std::nullopt);
}

TEST(ChartDetectionMemory, SightingsAndCarriesCountCarriedScansPerSide) {
    ChartDetectionMemory memory;
    ASSERT_TRUE(memory.recordRead(reading(2, 10), sighting(0.02, 0.04)));
    memory.recordCarry(sighting(0.02, 0.04, 1, 0.61));
    memory.recordCarry(sighting(0.02, 0.04, 1, 0.62));
    EXPECT_EQ(memory.carriedScans(), 2);
    memory.recordSighting(sighting(0.02, 0.04, 1, 0.63));
    EXPECT_EQ(memory.carriedScans(), 2);
    EXPECT_EQ(memory.sighting(), sighting(0.02, 0.04, 1, 0.63));
    memory.recordCarry(sighting(0.02, 0.04, -1));
    EXPECT_EQ(memory.carriedScans(), 1);
    memory.recordSighting(sighting(0.02, 0.04, 1));
    EXPECT_EQ(memory.carriedScans(), 0);
    ASSERT_TRUE(memory.recordRead(reading(2, 20), std::nullopt));
    EXPECT_EQ(memory.carriedScans(), 0);

    memory.forget();
    EXPECT_EQ(memory, ChartDetectionMemory());
}

TEST(ChartDetectionMemory, AgeAndCarryForwardLimits) {
    ChartDetectionMemory memory;
    EXPECT_EQ(memory.age(5), std::nullopt);
    EXPECT_FALSE(memory.canCarryForward(5, 1));
    ASSERT_TRUE(memory.recordRead(reading(2, 100), sighting(0.02, 0.04)));
    EXPECT_EQ(memory.age(102.5), 2.5);
    EXPECT_EQ(memory.age(99), 0.0);  // a frame older than the reading is not negative age

    EXPECT_TRUE(memory.canCarryForward(103.0, 1));
    EXPECT_FALSE(memory.canCarryForward(103.01, 1));
    EXPECT_FALSE(memory.canCarryForward(101, -1));
    EXPECT_TRUE(memory.canCarryForward(99, 1));
    EXPECT_TRUE(memory.canCarryForward(109, 1, 10));

    ChartDetectionMemory shortMemory;
    ASSERT_TRUE(shortMemory.recordRead(reading(-1, 100), std::nullopt));
    EXPECT_TRUE(shortMemory.canCarryForward(101, -1));
    EXPECT_FALSE(shortMemory.canCarryForward(101, 1));
}

TEST(ChartDetectionMemory, CarriedForwardObservation) {
    ChartDetectionMemory memory;
    EXPECT_EQ(memory.carriedForwardObservation(5, sighting(0.02, 0.04), 0, {}, {}), std::nullopt);

    const auto last = reading(2, 100, 0.92);
    ASSERT_TRUE(memory.recordRead(last, sighting(0.02, 0.04)));
    const auto here = sighting(0.021, 0.04, -1, 0.5);
    const std::vector<ChartOCRCandidate> candidates{ChartOCRCandidate{"?", 0.3, 0, 0, 0.1, 0.1, {}, {}, {}, {}}};
    const auto carried = memory.carriedForwardObservation(102.94, here, 14, candidates, {"badge-digits 2"});
    ASSERT_TRUE(carried);

    const std::string note = "carried-forward: position-label-text-unreadable-this-scan; values read 2.9s ago";
    ChartTradeObservation expected;
    expected.observedAt = 102.94;
    expected.detected = true;
    expected.position = 2.0;
    expected.pnl = last.pnl;
    expected.currency = last.currency;
    expected.textSnippets = last.textSnippets;
    expected.takeProfit = last.takeProfit;
    expected.stopLoss = last.stopLoss;
    expected.pane = last.pane;
    expected.symbol = last.symbol;
    expected.confidence = 0.6;
    expected.evidence = {"filled-position-badge", "position-line", "values-carried-forward", "badge-digits 2", note};
    expected.recognizedTextCount = 14;
    expected.candidates = candidates;
    expected.selectionLog = {note};
    expected.valuesCarriedForward = true;
    expected.labelRect = here.text;
    expected.badgeRect = here.badge;
    expected.badgeSide = -1;
    expected.positionLinePresent = true;
    ASSERT_TRUE(carried->valueAgeSeconds);
    EXPECT_NEAR(*carried->valueAgeSeconds, 2.94, 1e-9);
    expected.valueAgeSeconds = carried->valueAgeSeconds;
    EXPECT_EQ(*carried, expected);

    ChartDetectionMemory lowConfidence;
    ASSERT_TRUE(lowConfidence.recordRead(reading(2, 100, 0.45), std::nullopt));
    EXPECT_EQ(lowConfidence.carriedForwardObservation(101, here, 0, {}, {})->confidence, 0.45);
}

}  // namespace
}  // namespace halvex
