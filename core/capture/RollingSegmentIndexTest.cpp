#include "core/capture/RollingSegmentIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "core/support/HalvexNativeError.h"

namespace halvex {
namespace {

using Ids = std::vector<std::string>;

SegmentRecord segment(const std::string& id, double start, double end) {
    SegmentRecord record;
    record.id = id;
    record.path = "/out/segments/capture-x/" + id + ".m4s";
    record.initializationPath = "/out/segments/capture-x/init-001.mp4";
    record.startedAt = start;
    record.endedAt = end;
    record.durationSeconds = end - start;
    record.width = 1280;
    record.height = 720;
    record.byteCount = 1000;
    return record;
}

Ids ids(const std::vector<SegmentRecord>& records) {
    Ids result;
    for (const auto& record : records) result.push_back(record.id);
    return result;
}

TEST(RollingSegmentIndexTest, ConstructionClampsTheBufferToAtLeastOneSecond) {
    EXPECT_EQ(RollingSegmentIndex(180).bufferSeconds, 180);
    EXPECT_EQ(RollingSegmentIndex(1).bufferSeconds, 1);
    EXPECT_EQ(RollingSegmentIndex(0.5).bufferSeconds, 1);
    EXPECT_EQ(RollingSegmentIndex(-20).bufferSeconds, 1);
    EXPECT_EQ(RollingSegmentIndex(std::nan("")).bufferSeconds, 1);
}

// One old segment, optionally a trade, then a segment ending at 1000: is the old segment evicted?
struct EvictionCase {
    const char* name;
    double bufferSeconds;
    double oldStart;
    double oldEnd;
    enum class Trade { none, open, ended, endedAndReleased } trade;
    double markAt;
    double preRoll;
    bool evicted;
};
void PrintTo(const EvictionCase& c, std::ostream* os) { *os << c.name; }

class EvictionTest : public ::testing::TestWithParam<EvictionCase> {};

TEST_P(EvictionTest, OldSegmentIsEvictedOnlyWhenPastTheBufferAndUnpinned) {
    const auto& c = GetParam();
    RollingSegmentIndex index(c.bufferSeconds);
    index.append(segment("001-000001", c.oldStart, c.oldEnd));
    if (c.trade != EvictionCase::Trade::none) {
        index.markTrade("t", c.markAt, c.preRoll);
        if (c.trade != EvictionCase::Trade::open) {
            index.endTrade("t", c.markAt + 5, 0);
            index.append(segment("001-000002", c.markAt, c.markAt + 10));  // completes it
            ASSERT_TRUE(index.trades.at("t").completionEmitted);
        }
        if (c.trade == EvictionCase::Trade::endedAndReleased) {
            ASSERT_TRUE(index.releaseTrade("t"));
        }
    }
    const auto result = index.append(segment("001-000099", 990, 1000));
    const bool evicted = !result.evicted.empty() && result.evicted.front().id == "001-000001";
    EXPECT_EQ(evicted, c.evicted);
    bool stillIndexed = false;
    for (const auto& record : index.segments) stillIndexed = stillIndexed || record.id == "001-000001";
    EXPECT_EQ(stillIndexed, !c.evicted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EvictionTest,
    ::testing::Values(
        EvictionCase{"endingJustBeforeTheEdge", 180, 810, 819.9, EvictionCase::Trade::none, 0, 0, true},
        EvictionCase{"endingExactlyAtTheEdge", 180, 810, 820, EvictionCase::Trade::none, 0, 0, false},
        // Mark 900 with pre-roll 60: retainFrom 840; a 100 s buffer puts both segments past the edge.
        EvictionCase{"pinnedWhenItsEndEqualsRetainFrom", 100, 830, 840, EvictionCase::Trade::open, 900, 60, false},
        EvictionCase{"notPinnedWhenEndingBeforeRetainFrom", 100, 820, 839.9, EvictionCase::Trade::open, 900, 60, true},
        EvictionCase{"negativePreRollCountsAsZero", 180, 810, 819.9, EvictionCase::Trade::open, 825, -60, true},
        EvictionCase{"openTradePinsHoweverFarTheRecordingRuns", 180, 100, 110, EvictionCase::Trade::open, 100, 0, false},
        EvictionCase{"completedTradeStillPins", 180, 100, 110, EvictionCase::Trade::ended, 100, 0, false},
        EvictionCase{"releasedTradeNoLongerPins", 180, 100, 110, EvictionCase::Trade::endedAndReleased, 100, 0, true}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RollingSegmentIndexTest, AppendKeepsStartOrderWithIdTiesAndReportsEvictionsInIndexOrder) {
    RollingSegmentIndex index(30);
    index.append(segment("001-000003", 10, 20));
    index.append(segment("001-000002", 0, 10));
    index.append(segment("001-000001", 0, 10));
    index.append(segment("002-000001", 25, 31));
    EXPECT_EQ(ids(index.segments), (Ids{"001-000001", "001-000002", "001-000003", "002-000001"}));

    const auto result = index.append(segment("002-000002", 31, 51));
    EXPECT_EQ(ids(result.evicted), (Ids{"001-000001", "001-000002", "001-000003"}));
    EXPECT_EQ(ids(index.segments), (Ids{"002-000001", "002-000002"}));
    EXPECT_DOUBLE_EQ(index.retainedSeconds(), 6 + 20);
    EXPECT_EQ(index.latestSegmentEnd(), 51);
}

TEST(RollingSegmentIndexTest, TheAppendedSegmentsOwnEndDecidesEviction) {
    RollingSegmentIndex index(10);
    index.append(segment("002-000001", 100, 110));
    // A late arrival ending long before the newest segment measures the buffer from its own end.
    EXPECT_TRUE(index.append(segment("001-000001", 0, 5)).evicted.empty());
    EXPECT_EQ(index.latestSegmentEnd(), 110);
    EXPECT_EQ(ids(index.append(segment("002-000002", 110, 120)).evicted), Ids{"001-000001"});
}

TEST(RollingSegmentIndexTest, PinnedSegmentIsEvictedByTheFirstAppendAfterItsTradeIsReleased) {
    RollingSegmentIndex index(10);
    index.markTrade("t", 0, 0);
    index.append(segment("001-000001", 0, 10));
    EXPECT_TRUE(index.append(segment("001-000002", 40, 50)).evicted.empty());
    index.releaseTrade("t");
    EXPECT_EQ(ids(index.append(segment("001-000003", 50, 60)).evicted), Ids{"001-000001"});
}

// End at 950 with post-roll 20 (retainThrough 970); what does endTrade return, and which later
// append completes the trade?
struct CompletionCase {
    const char* name;
    double newestEndBeforeEnd;
    bool completesInsideEndTrade;
};
void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class CompletionTest : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(CompletionTest, TradeCompletesOnceRecordedMediaReachesRetainThrough) {
    const auto& c = GetParam();
    RollingSegmentIndex index(180);
    index.markTrade("t", 900, 30);
    index.append(segment("001-000001", c.newestEndBeforeEnd - 10, c.newestEndBeforeEnd));
    const auto completed = index.endTrade("t", 950, 20);
    EXPECT_EQ(index.trades.at("t").retainThrough, 970);
    EXPECT_EQ(index.trades.at("t").exitOccurredAt, 950);
    if (c.completesInsideEndTrade) {
        EXPECT_EQ(completed, Ids{"t"});
        EXPECT_TRUE(index.append(segment("001-000002", 975, 985)).completedSessionIDs.empty());
        return;
    }
    EXPECT_TRUE(completed.empty());
    EXPECT_EQ(index.pendingPostRollSessionIDs(), Ids{"t"});
    EXPECT_TRUE(index.append(segment("001-000002", 965, 969.9)).completedSessionIDs.empty());
    EXPECT_EQ(index.append(segment("001-000003", 969.9, 970)).completedSessionIDs, Ids{"t"});
    EXPECT_TRUE(index.pendingPostRollSessionIDs().empty());
    EXPECT_TRUE(index.append(segment("001-000004", 970, 980)).completedSessionIDs.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, CompletionTest,
                         ::testing::Values(CompletionCase{"coveredAlready", 975, true},
                                           CompletionCase{"coveredExactly", 970, true},
                                           CompletionCase{"notYetCovered", 965, false}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RollingSegmentIndexTest, EndWithoutSegmentsOrWithNegativePostRoll) {
    RollingSegmentIndex index(180);
    index.markTrade("a", 900, 0);
    EXPECT_TRUE(index.endTrade("a", 950, 20).empty());  // nothing recorded yet
    index.append(segment("001-000001", 940, 955));
    index.markTrade("b", 900, 0);
    EXPECT_EQ(index.endTrade("b", 950, -20), Ids{"b"});  // post-roll counts as 0, 955 covers 950
    EXPECT_EQ(index.trades.at("b").retainThrough, 950);
}

TEST(RollingSegmentIndexTest, SeveralTradesCompleteInAscendingOrderAndDerivedListsFollowState) {
    RollingSegmentIndex index(180);
    for (const auto* id : {"c", "a", "b", "open"}) index.markTrade(id, 100, 0);
    index.endTrade("c", 105, 0);
    index.endTrade("a", 105, 0);
    index.endTrade("b", 200, 0);
    EXPECT_EQ(index.activeSessionIDs(), Ids{"open"});
    EXPECT_EQ(index.pendingPostRollSessionIDs(), (Ids{"a", "b", "c"}));
    EXPECT_EQ(index.append(segment("001-000001", 100, 110)).completedSessionIDs, (Ids{"a", "c"}));
    EXPECT_EQ(index.pendingPostRollSessionIDs(), Ids{"b"});
}

TEST(RollingSegmentIndexTest, EndingAnUnknownTradeFailsAndLeavesTheIndexUnchanged) {
    RollingSegmentIndex index(180);
    index.markTrade("known", 100, 10);
    const auto before = index;
    try {
        index.endTrade("missing", 120, 5);
        FAIL() << "expected tradeNotFound";
    } catch (const HalvexNativeError& error) {
        EXPECT_EQ(error, HalvexNativeError::tradeNotFound("missing"));
    }
    EXPECT_EQ(index, before);
}

struct MarkCase {
    const char* name;
    std::vector<double> preRolls;  // marks of one id, in order, at the given times
    std::vector<double> times;
    double occurredAt;
    double retainFrom;
};
void PrintTo(const MarkCase& c, std::ostream* os) { *os << c.name; }

class MarkTest : public ::testing::TestWithParam<MarkCase> {};

TEST_P(MarkTest, RepeatedMarksKeepTheFirstTimeAndOnlyWidenTheWindow) {
    const auto& c = GetParam();
    RollingSegmentIndex index(180);
    TradeRetention stored;
    for (std::size_t i = 0; i < c.preRolls.size(); ++i) stored = index.markTrade("t", c.times[i], c.preRolls[i]);
    EXPECT_EQ(stored, index.trades.at("t"));
    EXPECT_EQ(stored.occurredAt, c.occurredAt);
    EXPECT_EQ(stored.retainFrom, c.retainFrom);
    EXPECT_FALSE(stored.retainThrough);
}

const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, MarkTest,
    ::testing::Values(MarkCase{"widerSecond", {30, 60}, {900, 900}, 900, 840},
                      MarkCase{"narrowerSecond", {60, 30}, {900, 900}, 900, 840},
                      MarkCase{"laterSecondMarkKeepsFirstTime", {60, 10}, {900, 1000}, 900, 840},
                      MarkCase{"earlierSecondMarkWidensBack", {10, 10}, {900, 800}, 900, 790},
                      MarkCase{"negativePreRoll", {-5}, {900}, 900, 900},
                      MarkCase{"notANumberPreRoll", {notANumber}, {900}, 900, 900},
                      MarkCase{"infinitePreRoll", {infinity}, {900}, 900, 900}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RollingSegmentIndexTest, MarkingAnEndedTradeAgainDoesNotReopenIt) {
    RollingSegmentIndex index(180);
    index.markTrade("t", 900, 10);
    index.endTrade("t", 950, 5);
    const auto stored = index.markTrade("t", 960, 200);
    EXPECT_EQ(stored.occurredAt, 900);
    EXPECT_EQ(stored.retainFrom, 760);
    EXPECT_EQ(stored.exitOccurredAt, 950);
    EXPECT_EQ(stored.retainThrough, 955);
    EXPECT_TRUE(index.activeSessionIDs().empty());
}

TEST(RollingSegmentIndexTest, DeferredTradeCompletesOnlyThroughTheDrain) {
    RollingSegmentIndex index(180);
    index.markTrade("t", 100, 0);
    index.markTrade("u", 100, 0);
    EXPECT_EQ(index.deferCompletionUntilWriterDrains({"u", "missing", "t", "t"}), (Ids{"t", "u"}));
    EXPECT_EQ(index.writerDrainDeferredSessionIDs, (std::set<std::string>{"t", "u"}));

    index.append(segment("001-000001", 100, 110));
    EXPECT_TRUE(index.endTrade("t", 105, 0).empty());
    EXPECT_TRUE(index.append(segment("001-000002", 110, 120)).completedSessionIDs.empty());
    EXPECT_FALSE(index.trades.at("t").completionEmitted);

    EXPECT_TRUE(index.writerDidDrain("t"));
    EXPECT_TRUE(index.trades.at("t").completionEmitted);
    EXPECT_FALSE(index.writerDidDrain("t"));  // no longer deferred
    EXPECT_FALSE(index.writerDidDrain("u"));  // drained while still open: nothing due
    EXPECT_TRUE(index.writerDrainDeferredSessionIDs.empty());
    // Undeferred and ended, "u" now completes like any other trade.
    EXPECT_EQ(index.endTrade("u", 110, 0), Ids{"u"});
}

TEST(RollingSegmentIndexTest, DeferringACompletedTradeAnnouncesItAgainAfterTheDrain) {
    RollingSegmentIndex index(180);
    index.markTrade("t", 100, 0);
    index.append(segment("001-000001", 100, 110));
    ASSERT_EQ(index.endTrade("t", 105, 0), Ids{"t"});
    EXPECT_EQ(index.deferCompletionUntilWriterDrains({"t"}), Ids{"t"});
    EXPECT_FALSE(index.trades.at("t").completionEmitted);
    EXPECT_EQ(index.pendingPostRollSessionIDs(), Ids{"t"});
    EXPECT_TRUE(index.writerDidDrain("t"));
}

TEST(RollingSegmentIndexTest, ReleaseForgetsTheTradeAndItsDeferral) {
    RollingSegmentIndex index(180);
    index.markTrade("t", 100, 0);
    index.deferCompletionUntilWriterDrains({"t"});
    EXPECT_TRUE(index.releaseTrade("t"));
    EXPECT_TRUE(index.trades.empty());
    EXPECT_TRUE(index.writerDrainDeferredSessionIDs.empty());
    EXPECT_FALSE(index.releaseTrade("t"));
    EXPECT_FALSE(index.writerDidDrain("t"));
}

TEST(RollingSegmentIndexTest, PruningKeepsTheTwelveNewestCompletedTrades) {
    RollingSegmentIndex index(180);
    // Thirteen completed trades; "m" has the smallest retainThrough, "x" and "y" share one.
    const std::vector<std::pair<std::string, double>> trades = {
        {"a", 205}, {"b", 210}, {"c", 220}, {"d", 230}, {"e", 240}, {"f", 250}, {"g", 260},
        {"h", 270}, {"i", 280}, {"j", 290}, {"k", 300}, {"y", 203}, {"x", 203}};
    for (const auto& [id, through] : trades) {
        TradeRetention retention{id, 100, 100, through, through, true};
        index.setRetention(retention);
    }
    index.markTrade("open", 100, 0);
    index.setRetention({"pending", 100, 100, 150.0, 150.0, false});
    EXPECT_TRUE(index.pruneCompletedTrades(completedTradesKept + 1).empty());
    index.writerDrainDeferredSessionIDs.insert("x");  // leftover deferral of a completed trade
    EXPECT_EQ(index.pruneCompletedTrades(completedTradesKept), Ids{"x"});
    EXPECT_EQ(index.trades.size(), 14u);
    EXPECT_EQ(index.trades.count("open"), 1u);
    EXPECT_EQ(index.trades.count("pending"), 1u);
    EXPECT_TRUE(index.writerDrainDeferredSessionIDs.empty());
    EXPECT_EQ(index.pruneCompletedTrades(10), (Ids{"y", "a"}));
    EXPECT_TRUE(index.pruneCompletedTrades(10).empty());
}

TEST(RollingSegmentIndexTest, SegmentsForATradeAreThoseOverlappingItsWindow) {
    RollingSegmentIndex index(1000);
    for (int i = 0; i < 6; ++i) {
        index.append(segment("001-00000" + std::to_string(i), 800 + 30.0 * i, 830 + 30.0 * i));
    }
    index.markTrade("open", 900, 60);  // [840, …)
    index.markTrade("ended", 860, 0);
    index.endTrade("ended", 890, 0);  // [860, 890]
    EXPECT_EQ(ids(index.segmentsFor("open")), (Ids{"001-000001", "001-000002", "001-000003", "001-000004", "001-000005"}));
    // Both bounds are inclusive: segments ending at 860 and starting at 890 belong to [860, 890].
    EXPECT_EQ(ids(index.segmentsFor("ended")), (Ids{"001-000001", "001-000002", "001-000003"}));
    EXPECT_TRUE(index.segmentsFor("missing").empty());
}

struct PreRollCase {
    const char* name;
    std::vector<std::pair<double, double>> segments;
    std::optional<double> expected;
};
void PrintTo(const PreRollCase& c, std::ostream* os) { *os << c.name; }

class EffectivePreRollTest : public ::testing::TestWithParam<PreRollCase> {};

TEST_P(EffectivePreRollTest, IsThePreRollActuallyOnDisk) {
    const auto& c = GetParam();
    RollingSegmentIndex index(1000);
    int sequence = 0;
    for (const auto& [start, end] : c.segments) index.append(segment("001-" + std::to_string(++sequence), start, end));
    index.markTrade("t", 900, 60);
    EXPECT_EQ(index.effectivePreRoll("t"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EffectivePreRollTest,
    ::testing::Values(PreRollCase{"bufferStartsInsideThePreRoll", {{870, 880}, {880, 890}, {890, 905}}, 30.0},
                      PreRollCase{"bufferReachesFurtherBack", {{800, 850}, {850, 905}}, 60.0},
                      PreRollCase{"noSegments", {}, 0.0},
                      PreRollCase{"mediaStartsAfterTheMark", {{910, 920}}, 0.0}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RollingSegmentIndexTest, EffectivePreRollOfAnUnknownTradeIsAbsent) {
    EXPECT_EQ(RollingSegmentIndex(180).effectivePreRoll("missing"), std::nullopt);
}

struct GapCase {
    const char* name;
    std::vector<std::pair<double, double>> segments;
    bool hasGaps;
};
void PrintTo(const GapCase& c, std::ostream* os) { *os << c.name; }

class GapTest : public ::testing::TestWithParam<GapCase> {};

TEST_P(GapTest, GapIsAHoleLongerThanAQuarterSecond) {
    const auto& c = GetParam();
    RollingSegmentIndex index(1000);
    int sequence = 0;
    for (const auto& [start, end] : c.segments) index.append(segment("001-" + std::to_string(++sequence), start, end));
    index.markTrade("t", 0, 0);
    EXPECT_EQ(index.hasGaps("t", segmentGapToleranceSeconds), c.hasGaps);
}

INSTANTIATE_TEST_SUITE_P(Cases, GapTest,
                         ::testing::Values(GapCase{"withinTolerance", {{0, 10}, {10.2, 20}}, false},
                                           GapCase{"atTolerance", {{0, 10}, {10.25, 20}}, false},
                                           GapCase{"beyondTolerance", {{0, 10}, {10.3, 20}}, true},
                                           GapCase{"gapLaterInTheRun", {{0, 10}, {10, 20}, {21, 30}}, true},
                                           GapCase{"singleSegment", {{0, 10}}, false},
                                           GapCase{"noSegments", {}, false},
                                           // A short segment inside a long one does not hide the
                                           // long one's coverage.
                                           GapCase{"nestedSegment", {{0, 20}, {5, 10}, {20.1, 30}}, false}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RollingSegmentIndexTest, GapsOfAnUnknownTradeAreFalse) {
    RollingSegmentIndex index(1000);
    index.append(segment("001-1", 0, 10));
    index.append(segment("001-2", 50, 60));
    EXPECT_FALSE(index.hasGaps("missing", segmentGapToleranceSeconds));
}

struct FinalizeCase {
    const char* name;
    std::vector<std::pair<double, double>> segments;
    double markAt;
    double lastMediaAt;
    double expectedEnd;
};
void PrintTo(const FinalizeCase& c, std::ostream* os) { *os << c.name; }

class FinalizeTest : public ::testing::TestWithParam<FinalizeCase> {};

TEST_P(FinalizeTest, OpenTradeIsClosedAtTheEndOfTheRecordedMedia) {
    const auto& c = GetParam();
    RollingSegmentIndex index(1000);
    int sequence = 0;
    for (const auto& [start, end] : c.segments) index.append(segment("001-" + std::to_string(++sequence), start, end));
    index.markTrade("t", c.markAt, 10);
    EXPECT_EQ(index.finalizeUnfinishedTradesForStop(c.lastMediaAt), Ids{"t"});
    const auto& trade = index.trades.at("t");
    EXPECT_EQ(trade.exitOccurredAt, c.expectedEnd);
    EXPECT_EQ(trade.retainThrough, c.expectedEnd);
    EXPECT_TRUE(trade.completionEmitted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FinalizeTest,
    ::testing::Values(FinalizeCase{"atTheLastSegmentEnd", {{100, 110}, {110, 120}}, 105, 125, 120},
                      FinalizeCase{"atTheMarkWhenThatIsLater", {{100, 110}}, 115, 125, 115},
                      FinalizeCase{"atLastMediaWithoutSegments", {}, 100, 125, 125},
                      FinalizeCase{"notFiniteFallsBackToSegments", {{100, 110}}, 105, notANumber, 110},
                      FinalizeCase{"notFiniteWithoutSegmentsFallsBackToTheMark", {}, 100, infinity, 100}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RollingSegmentIndexTest, FinalizeCompletesPendingAndDeferredTradesAndSkipsCompletedOnes) {
    RollingSegmentIndex index(1000);
    index.append(segment("001-1", 100, 110));
    index.markTrade("done", 100, 0);
    ASSERT_EQ(index.endTrade("done", 101, 0), Ids{"done"});
    index.markTrade("late", 100, 0);
    index.endTrade("late", 200, 30);  // beyond the recorded media
    index.markTrade("parked", 100, 0);
    index.endTrade("parked", 102, 0);
    index.deferCompletionUntilWriterDrains({"parked"});

    EXPECT_EQ(index.finalizeUnfinishedTradesForStop(110), (Ids{"late", "parked"}));
    EXPECT_EQ(index.trades.at("late").retainThrough, 230);  // kept, though past the media
    EXPECT_EQ(index.trades.at("late").exitOccurredAt, 200);
    EXPECT_TRUE(index.trades.at("parked").completionEmitted);
    EXPECT_TRUE(index.writerDrainDeferredSessionIDs.empty());
    EXPECT_TRUE(index.finalizeUnfinishedTradesForStop(110).empty());
}

TEST(RollingSegmentIndexTest, IndexesCompareByAllFourFields) {
    auto build = [] {
        RollingSegmentIndex index(60);
        index.append(segment("001-1", 0, 10));
        index.markTrade("t", 5, 1);
        return index;
    };
    EXPECT_EQ(build(), build());
    auto deferred = build();
    deferred.deferCompletionUntilWriterDrains({"t"});
    EXPECT_NE(deferred, build());
    EXPECT_NE(RollingSegmentIndex(60), RollingSegmentIndex(61));
}

}  // namespace
}  // namespace halvex
