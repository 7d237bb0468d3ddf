#include "core/capture/RollingSegmentIndex.h"

#include <algorithm>
#include <cmath>

#include "core/support/HalvexNativeError.h"

namespace halvex {
namespace {

// A roll that is negative or not a number adds nothing; an infinite one would make the window
// impossible to encode in the manifest and the trade impossible to complete.
double usableRoll(double seconds) { return std::isfinite(seconds) && seconds > 0 ? seconds : 0.0; }

bool segmentOrder(const SegmentRecord& a, const SegmentRecord& b) {
    if (a.startedAt != b.startedAt) return a.startedAt < b.startedAt;
    return a.id < b.id;
}

}  // namespace

RollingSegmentIndex::RollingSegmentIndex(double bufferSeconds_)
    : bufferSeconds(bufferSeconds_ >= 1 ? bufferSeconds_ : 1.0) {}

std::vector<std::string> RollingSegmentIndex::activeSessionIDs() const {
    std::vector<std::string> ids;
    for (const auto& [id, trade] : trades) {
        if (!trade.retainThrough) ids.push_back(id);
    }
    return ids;
}

std::vector<std::string> RollingSegmentIndex::pendingPostRollSessionIDs() const {
    std::vector<std::string> ids;
    for (const auto& [id, trade] : trades) {
        if (trade.retainThrough && !trade.completionEmitted) ids.push_back(id);
    }
    return ids;
}

double RollingSegmentIndex::retainedSeconds() const {
    double total = 0;
    for (const auto& segment : segments) total += segment.durationSeconds;
    return total;
}

std::optional<double> RollingSegmentIndex::latestSegmentEnd() const {
    if (segments.empty()) return std::nullopt;
    return segments.back().endedAt;
}

bool RollingSegmentIndex::isPinned(const SegmentRecord& segment) const {
    return std::any_of(trades.begin(), trades.end(), [&](const auto& entry) {
        return segment.overlaps(entry.second.retainFrom, entry.second.retainThrough);
    });
}

std::vector<std::string> RollingSegmentIndex::newlyCompletedSessionIDs(std::optional<double> referenceTime) {
    std::vector<std::string> completed;
    if (!referenceTime) return completed;
    for (auto& [id, trade] : trades) {
        if (trade.completionEmitted || writerDrainDeferredSessionIDs.count(id) > 0 || !trade.retainThrough) continue;
        if (*referenceTime < *trade.retainThrough) continue;
        trade.completionEmitted = true;
        completed.push_back(id);
    }
    return completed;
}

RollingAppendResult RollingSegmentIndex::append(const SegmentRecord& record) {
    // The list is sorted but for the new record, so inserting at its place is the re-sort.
    segments.insert(std::upper_bound(segments.begin(), segments.end(), record, segmentOrder), record);

    const double newestEnd = record.endedAt;
    const double oldestKeptEnd = newestEnd - bufferSeconds;
    RollingAppendResult result;
    std::vector<SegmentRecord> kept;
    kept.reserve(segments.size());
    for (auto& segment : segments) {
        if (segment.endedAt < oldestKeptEnd && !isPinned(segment)) {
            result.evicted.push_back(std::move(segment));
        } else {
            kept.push_back(std::move(segment));
        }
    }
    segments = std::move(kept);
    result.completedSessionIDs = newlyCompletedSessionIDs(newestEnd);
    return result;
}

TradeRetention RollingSegmentIndex::markTrade(const std::string& sessionId, double occurredAt, double preRollSeconds) {
    const double candidateStart = occurredAt - usableRoll(preRollSeconds);
    const auto found = trades.find(sessionId);
    if (found == trades.end()) {
        TradeRetention retention;
        retention.sessionId = sessionId;
        retention.occurredAt = occurredAt;
        retention.retainFrom = candidateStart;
        return trades.emplace(sessionId, retention).first->second;
    }
    found->second.retainFrom = std::min(candidateStart, found->second.retainFrom);
    return found->second;
}

std::vector<std::string> RollingSegmentIndex::endTrade(const std::string& sessionId, double occurredAt,
                                                       double postRollSeconds) {
    const auto found = trades.find(sessionId);
    if (found == trades.end()) throw HalvexNativeError::tradeNotFound(sessionId);
    found->second.exitOccurredAt = occurredAt;
    found->second.retainThrough = occurredAt + usableRoll(postRollSeconds);
    return newlyCompletedSessionIDs(latestSegmentEnd());
}

bool RollingSegmentIndex::releaseTrade(const std::string& sessionId) {
    writerDrainDeferredSessionIDs.erase(sessionId);
    return trades.erase(sessionId) > 0;
}

std::vector<std::string> RollingSegmentIndex::deferCompletionUntilWriterDrains(const std::vector<std::string>& sessionIds) {
    const std::set<std::string> ordered(sessionIds.begin(), sessionIds.end());
    std::vector<std::string> deferred;
    for (const auto& id : ordered) {
        const auto found = trades.find(id);
        if (found == trades.end()) continue;
        writerDrainDeferredSessionIDs.insert(id);
        found->second.completionEmitted = false;
        deferred.push_back(id);
    }
    return deferred;
}

bool RollingSegmentIndex::writerDidDrain(const std::string& sessionId) {
    if (writerDrainDeferredSessionIDs.erase(sessionId) == 0) return false;
    const auto found = trades.find(sessionId);
    if (found == trades.end() || !found->second.retainThrough || found->second.completionEmitted) return false;
    found->second.completionEmitted = true;
    return true;
}

void RollingSegmentIndex::setRetention(const TradeRetention& retention) { trades[retention.sessionId] = retention; }

std::vector<std::string> RollingSegmentIndex::pruneCompletedTrades(std::size_t keepAtMost) {
    std::vector<const TradeRetention*> completed;
    for (const auto& [id, trade] : trades) {
        if (trade.completionEmitted && trade.retainThrough) completed.push_back(&trade);
    }
    if (completed.size() <= keepAtMost) return {};
    std::stable_sort(completed.begin(), completed.end(),
                     [](const TradeRetention* a, const TradeRetention* b) { return *a->retainThrough < *b->retainThrough; });
    std::vector<std::string> removed;
    for (std::size_t i = 0; i < completed.size() - keepAtMost; ++i) removed.push_back(completed[i]->sessionId);
    for (const auto& id : removed) {
        trades.erase(id);
        writerDrainDeferredSessionIDs.erase(id);
    }
    return removed;
}

std::vector<SegmentRecord> RollingSegmentIndex::segmentsFor(const std::string& sessionId) const {
    const auto found = trades.find(sessionId);
    if (found == trades.end()) return {};
    std::vector<SegmentRecord> result;
    for (const auto& segment : segments) {
        if (segment.overlaps(found->second.retainFrom, found->second.retainThrough)) result.push_back(segment);
    }
    return result;
}

std::optional<double> RollingSegmentIndex::effectivePreRoll(const std::string& sessionId) const {
    const auto found = trades.find(sessionId);
    if (found == trades.end()) return std::nullopt;
    const auto tradeSegments = segmentsFor(sessionId);
    if (tradeSegments.empty()) return 0.0;
    double earliestStart = tradeSegments.front().startedAt;
    for (const auto& segment : tradeSegments) earliestStart = std::min(earliestStart, segment.startedAt);
    const double covered = found->second.occurredAt - std::max(found->second.retainFrom, earliestStart);
    return covered > 0 ? covered : 0.0;
}

bool RollingSegmentIndex::hasGaps(const std::string& sessionId, double toleranceSeconds) const {
    auto tradeSegments = segmentsFor(sessionId);
    if (tradeSegments.size() < 2) return false;
    std::stable_sort(tradeSegments.begin(), tradeSegments.end(),
                     [](const SegmentRecord& a, const SegmentRecord& b) { return a.startedAt < b.startedAt; });
    // Measured from the furthest end so far: a segment lying inside an earlier, longer one (two
    // writers overlapping after a recycle) does not open a hole that the longer one covers.
    double coveredUntil = tradeSegments.front().endedAt;
    for (std::size_t i = 1; i < tradeSegments.size(); ++i) {
        if (tradeSegments[i].startedAt - coveredUntil > toleranceSeconds) return true;
        coveredUntil = std::max(coveredUntil, tradeSegments[i].endedAt);
    }
    return false;
}

std::vector<std::string> RollingSegmentIndex::finalizeUnfinishedTradesForStop(double lastMediaAt) {
    const auto latestEnd = latestSegmentEnd();
    if (!std::isfinite(lastMediaAt)) lastMediaAt = latestEnd.value_or(0.0);
    const double mediaEnd = latestEnd.value_or(lastMediaAt);
    std::vector<std::string> completed;
    for (auto& [id, trade] : trades) {
        if (trade.completionEmitted) continue;
        if (!trade.retainThrough) {
            const double end = std::max(mediaEnd, trade.occurredAt);
            trade.exitOccurredAt = end;
            trade.retainThrough = end;
        }
        trade.completionEmitted = true;
        writerDrainDeferredSessionIDs.erase(id);
        completed.push_back(id);
    }
    return completed;
}

}  // namespace halvex
