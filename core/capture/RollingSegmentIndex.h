#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/capture/SegmentRecord.h"
#include "core/capture/TradeRetention.h"

namespace halvex {

// How many completed trades the engine keeps pinning after each segment.
inline constexpr std::size_t completedTradesKept = 12;
// Consecutive segments further apart than this make a clip "have gaps".
inline constexpr double segmentGapToleranceSeconds = 0.25;

struct RollingAppendResult {
    std::vector<SegmentRecord> evicted;            // removed by this append, in index order
    std::vector<std::string> completedSessionIDs;  // completed by this append, ascending

    bool operator==(const RollingAppendResult&) const = default;
};

// The bookkeeping of one recording: the finished segments still on disk and the retention window
// of every marked trade. Decides what falls out of the rolling buffer, what a trade pins, when a
// trade's window is fully recorded, and what belongs in its manifest. Performs no I/O: the engine
// deletes evicted files and writes manifests. A plain value, used on one queue only.
//
// A segment is pinned while it overlaps [retainFrom, retainThrough] of any trade in `trades`,
// completed ones included; it stays, however old, until that trade is released or pruned.
struct RollingSegmentIndex {
    double bufferSeconds = 1;  // at least 1
    std::vector<SegmentRecord> segments;  // ordered by startedAt, ties by id
    std::map<std::string, TradeRetention> trades;
    std::set<std::string> writerDrainDeferredSessionIDs;  // completion waits for a writer drain

    // Values below 1, and NaN, become 1.
    explicit RollingSegmentIndex(double bufferSeconds);

    bool operator==(const RollingSegmentIndex&) const = default;

    // Trades marked and not yet ended, ascending.
    std::vector<std::string> activeSessionIDs() const;
    // Trades ended whose completion has not been announced, ascending.
    std::vector<std::string> pendingPostRollSessionIDs() const;
    double retainedSeconds() const;
    // endedAt of the last segment in index order; absent without segments.
    std::optional<double> latestSegmentEnd() const;

    // Indexes a finished segment, evicts every unpinned segment that ended more than bufferSeconds
    // before the new segment's end, and completes the ended trades that the new end reaches.
    RollingAppendResult append(const SegmentRecord& record);

    // Starts a trade's window at occurredAt minus the pre-roll (negative or non-finite counts as 0).
    // Marking a known id keeps its first mark time and end, and only ever widens the window back.
    // Returns the stored retention.
    TradeRetention markTrade(const std::string& sessionId, double occurredAt, double preRollSeconds);

    // Ends a trade at occurredAt plus the post-roll (negative or non-finite counts as 0) and
    // returns the trades the recorded media already completes. Throws HalvexNativeError
    // tradeNotFound for an unknown id, leaving the index unchanged.
    std::vector<std::string> endTrade(const std::string& sessionId, double occurredAt, double postRollSeconds);

    // Forgets a trade and its deferral; its segments lose its pin. Returns whether it existed.
    bool releaseTrade(const std::string& sessionId);

    // Parks the known ids (ascending) until writerDidDrain, clearing an announced completion so it
    // is announced again after the drain. Unknown ids are ignored. Returns the parked ids.
    std::vector<std::string> deferCompletionUntilWriterDrains(const std::vector<std::string>& sessionIds);

    // Unparks an id; returns true when that made an ended, unannounced trade complete.
    bool writerDidDrain(const std::string& sessionId);

    // Stores the record under its session id, replacing any existing one.
    void setRetention(const TradeRetention& retention);

    // Keeps at most `keepAtMost` completed trades, dropping those with the smallest retainThrough
    // first. Returns the removed ids in removal order.
    std::vector<std::string> pruneCompletedTrades(std::size_t keepAtMost);

    // The trade's segments in index order: those overlapping its window. Empty for an unknown id.
    std::vector<SegmentRecord> segmentsFor(const std::string& sessionId) const;

    // The pre-roll actually on disk: 0 without segments, absent for an unknown id.
    std::optional<double> effectivePreRoll(const std::string& sessionId) const;

    // Whether the trade's media has a hole longer than the tolerance between consecutive segments.
    bool hasGaps(const std::string& sessionId, double toleranceSeconds) const;

    // Completes every trade not yet announced, closing open ones at the end of the recorded media
    // (never before their mark). A non-finite lastMediaAt falls back to latestSegmentEnd, else 0.
    // Returns the completed ids, ascending.
    std::vector<std::string> finalizeUnfinishedTradesForStop(double lastMediaAt);

private:
    bool isPinned(const SegmentRecord& segment) const;
    std::vector<std::string> newlyCompletedSessionIDs(std::optional<double> referenceTime);
};

}  // namespace halvex
