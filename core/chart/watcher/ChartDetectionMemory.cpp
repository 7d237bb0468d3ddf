#include "core/chart/watcher/ChartDetectionMemory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace halvex {

namespace {

bool hasReadablePosition(const ChartTradeObservation& observation) {
    return observation.position && std::isfinite(*observation.position) && *observation.position != 0;
}

bool badgesMatch(const ChartNormalizedRect& remembered, const ChartNormalizedRect& current) {
    if (!(remembered.height > 0 && remembered.width > 0 && current.height > 0 && current.width > 0)) return false;
    const double heightRatio = current.height / remembered.height;
    const double widthRatio = current.width / remembered.width;
    return heightRatio >= 0.55 && heightRatio <= 1.8 && widthRatio >= 0.45 && widthRatio <= 2.2;
}

std::string carriedForwardNote(double age) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "position-label-text-unreadable-this-scan; values read %.1fs ago", age);
    return std::string("carried-forward: ") + buffer;
}

}  // namespace

bool ChartDetectionMemory::recordRead(const ChartTradeObservation& observation,
                                      const std::optional<Sighting>& sighting) {
    if (!observation.detected || !hasReadablePosition(observation)) return false;
    if (sighting && sighting_ && !badgesMatch(sighting_->badge, sighting->badge) &&
        rejectedSightings_ < maximumRejectedSightings) {
        rejectedSightings_ += 1;
        return false;
    }
    if (sighting) sighting_ = sighting;
    rejectedSightings_ = 0;
    lastRead_ = observation;
    lastReadAt_ = observation.observedAt;
    carriedScans_ = 0;
    return true;
}

void ChartDetectionMemory::recordSighting(const Sighting& sighting) {
    if (sighting_ && sighting_->side != sighting.side) carriedScans_ = 0;
    sighting_ = sighting;
}

void ChartDetectionMemory::recordCarry(const Sighting& sighting) {
    recordSighting(sighting);
    carriedScans_ += 1;
}

void ChartDetectionMemory::forget() { *this = ChartDetectionMemory(); }

std::optional<double> ChartDetectionMemory::age(double at) const {
    if (!lastReadAt_) return std::nullopt;
    return std::max(0.0, at - *lastReadAt_);
}

bool ChartDetectionMemory::canCarryForward(double at, std::int64_t side, double maximumAge) const {
    if (!lastRead_ || !hasReadablePosition(*lastRead_) || !lastReadAt_) return false;
    const std::int64_t readSide = *lastRead_->position > 0 ? 1 : -1;
    return side == readSide && std::max(0.0, at - *lastReadAt_) <= maximumAge;
}

std::optional<ChartTradeObservation> ChartDetectionMemory::carriedForwardObservation(
    double at, const Sighting& sighting, std::int64_t recognizedTextCount, std::vector<ChartOCRCandidate> candidates,
    const std::vector<std::string>& extraEvidence) const {
    if (!lastRead_ || !lastReadAt_) return std::nullopt;
    const auto& last = *lastRead_;
    const double valueAge = std::max(0.0, at - *lastReadAt_);
    const std::string note = carriedForwardNote(valueAge);

    ChartTradeObservation carried;
    carried.observedAt = at;
    carried.detected = true;
    carried.position = last.position;
    carried.pnl = last.pnl;
    carried.currency = last.currency;
    carried.textSnippets = last.textSnippets;
    carried.takeProfit = last.takeProfit;
    carried.stopLoss = last.stopLoss;
    carried.pane = last.pane;
    carried.symbol = last.symbol;
    carried.confidence = std::min(last.confidence, 0.6);
    carried.evidence = {"filled-position-badge", "position-line", "values-carried-forward"};
    carried.evidence.insert(carried.evidence.end(), extraEvidence.begin(), extraEvidence.end());
    carried.evidence.push_back(note);
    carried.recognizedTextCount = recognizedTextCount;
    carried.candidates = std::move(candidates);
    carried.selectionLog = {note};
    carried.valuesCarriedForward = true;
    carried.valueAgeSeconds = valueAge;
    carried.labelRect = sighting.text;
    carried.badgeRect = sighting.badge;
    carried.badgeSide = sighting.side;
    carried.positionLinePresent = true;
    return carried;
}

}  // namespace halvex
