#include "core/chart/watcher/ChartPositionDebouncer.h"

#include <algorithm>
#include <cmath>

namespace halvex {

namespace {

bool samePosition(double a, double b) { return std::abs(a - b) <= ChartPositionDebouncer::positionTolerance; }

std::optional<double> readablePosition(const ChartTradeObservation& observation) {
    if (!observation.detected || !observation.position) return std::nullopt;
    const double position = *observation.position;
    if (!std::isfinite(position) || position == 0) return std::nullopt;
    return position;
}

// The same quantity badge seen again: both rectangles real and of a comparable size.
bool badgesComparable(const ChartNormalizedRect& previous, const ChartNormalizedRect& current) {
    if (!(previous.height > 0 && previous.width > 0 && current.height > 0 && current.width > 0)) return false;
    const double heightRatio = current.height / previous.height;
    const double widthRatio = current.width / previous.width;
    return heightRatio >= 0.55 && heightRatio <= 1.8 && widthRatio >= 0.45 && widthRatio <= 2.2;
}

}  // namespace

ChartPositionDebouncer::ChartPositionDebouncer(std::int64_t openConfirmations, std::int64_t changeConfirmations,
                                               std::int64_t closeConfirmations)
    : openConfirmations_(std::max<std::int64_t>(openConfirmations, 1)),
      changeConfirmations_(std::max<std::int64_t>(changeConfirmations, 1)),
      closeConfirmations_(std::max<std::int64_t>(closeConfirmations, 1)) {}

void ChartPositionDebouncer::reset() {
    *this = ChartPositionDebouncer(openConfirmations_, changeConfirmations_, closeConfirmations_);
}

void ChartPositionDebouncer::clearCandidate() {
    candidatePosition_.reset();
    candidateConfirmations_ = 0;
}

std::optional<ChartPositionTransition> ChartPositionDebouncer::ingest(const ChartTradeObservation& observation) {
    if (const auto position = readablePosition(observation)) return ingestReadable(observation, *position);
    return ingestUnreadable(observation);
}

std::optional<ChartPositionTransition> ChartPositionDebouncer::ingestReadable(const ChartTradeObservation& observation,
                                                                              double position) {
    consecutivePresent_ += 1;
    consecutiveAbsent_ = 0;
    heldAbsentScans_ = 0;
    positionLineHeld_ = false;
    positionOffScreen_ = false;

    std::optional<ChartTradeObservation> previous = std::move(lastMatchedObservation_);
    lastMatchedObservation_ = observation;

    if (observation.entryPrice && std::isfinite(*observation.entryPrice)) {
        knownEntryPrice_ = observation.entryPrice;
        knownEntryPriceTolerance_ = observation.entryPriceTolerance;
    }

    if (activePosition_) {
        if (samePosition(*activePosition_, position)) {
            clearCandidate();
            return std::nullopt;
        }
        if (!changeCorroborated(observation, previous, *activePosition_, position)) {
            uncorroboratedChangeScans_ += 1;
            clearCandidate();
            return std::nullopt;
        }
    }

    if (candidatePosition_ && samePosition(*candidatePosition_, position)) {
        candidateConfirmations_ += 1;
    } else {
        candidatePosition_ = position;
        candidateConfirmations_ = 1;
    }
    const std::int64_t required = activePosition_ ? changeConfirmations_ : openConfirmations_;
    if (candidateConfirmations_ < required) return std::nullopt;

    const double previousPosition = activePosition_.value_or(0);
    activePosition_ = position;
    clearCandidate();

    ChartPositionTransitionKind kind;
    if (previousPosition == 0) {
        kind = ChartPositionTransitionKind::entry;
    } else if ((previousPosition > 0) != (position > 0)) {
        kind = ChartPositionTransitionKind::reversal;
    } else if (std::abs(previousPosition) < std::abs(position)) {
        kind = ChartPositionTransitionKind::add;
    } else {
        kind = ChartPositionTransitionKind::partialExit;
    }
    return ChartPositionTransition{previousPosition, position, kind, observation};
}

bool ChartPositionDebouncer::changeCorroborated(const ChartTradeObservation& observation,
                                                const std::optional<ChartTradeObservation>& previous, double active,
                                                double position) const {
    if (observation.valuesCarriedForward) return false;
    if (previous && previous->badgeRect && observation.badgeRect &&
        !badgesComparable(*previous->badgeRect, *observation.badgeRect)) {
        return false;
    }
    if (observation.viewportMoving()) return false;
    const bool sameSign = (active > 0) == (position > 0);
    if (!sameSign && observation.badgeSide && *observation.badgeSide != (position > 0 ? 1 : -1)) return false;
    return true;
}

bool ChartPositionDebouncer::entryCouldBeSeen(const ChartTradeObservation& observation) const {
    if (!knownEntryPrice_) return true;
    if (!observation.priceAxisReadable || !observation.visiblePriceLow || !observation.visiblePriceHigh) return false;
    if (observation.viewportMoving()) return false;
    // A tolerance that is not a usable number counts as none; a NaN would otherwise put the entry
    // out of every range and hold the position open for ever.
    const double tolerance =
        knownEntryPriceTolerance_ && std::isfinite(*knownEntryPriceTolerance_) && *knownEntryPriceTolerance_ >= 0
            ? *knownEntryPriceTolerance_
            : 0.0;
    return *knownEntryPrice_ >= *observation.visiblePriceLow - tolerance &&
           *knownEntryPrice_ <= *observation.visiblePriceHigh + tolerance;
}

std::optional<ChartPositionTransition> ChartPositionDebouncer::ingestUnreadable(
    const ChartTradeObservation& observation) {
    consecutivePresent_ = 0;
    clearCandidate();

    if (!activePosition_) {
        consecutiveAbsent_ = 0;
        heldAbsentScans_ = 0;
        positionLineHeld_ = false;
        positionOffScreen_ = false;
        return std::nullopt;
    }
    if (observation.positionLinePresent) {
        positionLineHeld_ = true;
        positionOffScreen_ = false;
        consecutiveAbsent_ = 0;
        heldAbsentScans_ += 1;
        return std::nullopt;
    }
    positionLineHeld_ = false;
    if (!entryCouldBeSeen(observation)) {
        consecutiveAbsent_ = 0;
        heldAbsentScans_ += 1;
        positionOffScreen_ = true;
        return std::nullopt;
    }
    heldAbsentScans_ = 0;
    positionOffScreen_ = false;
    consecutiveAbsent_ += 1;
    if (consecutiveAbsent_ < closeConfirmations_) return std::nullopt;

    const double previousPosition = *activePosition_;
    ChartTradeObservation close = closeObservation(observation);
    activePosition_.reset();
    lastMatchedObservation_.reset();
    knownEntryPrice_.reset();
    knownEntryPriceTolerance_.reset();
    consecutiveAbsent_ = 0;
    return ChartPositionTransition{previousPosition, 0, ChartPositionTransitionKind::close, std::move(close)};
}

ChartTradeObservation ChartPositionDebouncer::closeObservation(const ChartTradeObservation& observation) const {
    ChartTradeObservation close;
    close.observedAt = observation.observedAt;
    close.recognizedTextCount = observation.recognizedTextCount;
    close.detected = false;
    close.position = 0.0;
    if (lastMatchedObservation_) {
        const auto& last = *lastMatchedObservation_;
        close.pnl = last.pnl;
        close.currency = last.currency;
        close.confidence = last.confidence;
        close.textSnippets = last.textSnippets;
        close.pane = last.pane;
        close.symbol = last.symbol;
        close.evidence = last.evidence;
    }
    close.evidence.push_back(closeEvidenceTag);
    close.entryPrice = knownEntryPrice_;
    close.entryPriceTolerance = knownEntryPriceTolerance_;
    return close;
}

}  // namespace halvex
