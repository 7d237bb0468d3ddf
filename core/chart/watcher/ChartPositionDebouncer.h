#pragma once

#include <cstdint>
#include <optional>

#include "core/chart/records/ChartTradeObservation.h"
#include "core/chart/watcher/ChartPositionTransition.h"

namespace halvex {

// Turns one platform's per-scan readings into confirmed position transitions. An opening needs
// `openConfirmations` equal readings; a size change needs `changeConfirmations` equal readings that
// the picture corroborates; a close needs `closeConfirmations` scans in which the position is absent
// although its entry could have been seen. While the label is missing but the position line is
// drawn, or the entry price is scrolled out of view, the position is held rather than closed.
// A plain value without locking: its owner serialises access.
class ChartPositionDebouncer {
public:
    // Two sizes closer than this are the same position.
    static constexpr double positionTolerance = 1e-6;
    static constexpr const char* closeEvidenceTag = "overlay-absent-confirmed";

    // Counts below 1 are raised to 1.
    ChartPositionDebouncer(std::int64_t openConfirmations, std::int64_t changeConfirmations,
                           std::int64_t closeConfirmations);

    // Processes one scan; returns the transition this scan confirms, if any.
    std::optional<ChartPositionTransition> ingest(const ChartTradeObservation& observation);
    // Back to flat; the three confirmation counts stay.
    void reset();

    std::int64_t openConfirmations() const { return openConfirmations_; }
    std::int64_t changeConfirmations() const { return changeConfirmations_; }
    std::int64_t closeConfirmations() const { return closeConfirmations_; }
    const std::optional<double>& activePosition() const { return activePosition_; }
    std::int64_t consecutivePresent() const { return consecutivePresent_; }
    std::int64_t consecutiveAbsent() const { return consecutiveAbsent_; }
    std::int64_t heldAbsentScans() const { return heldAbsentScans_; }
    bool positionLineHeld() const { return positionLineHeld_; }
    bool positionOffScreen() const { return positionOffScreen_; }
    std::int64_t uncorroboratedChangeScans() const { return uncorroboratedChangeScans_; }
    const std::optional<double>& candidatePosition() const { return candidatePosition_; }
    std::int64_t candidateConfirmations() const { return candidateConfirmations_; }
    const std::optional<ChartTradeObservation>& lastMatchedObservation() const { return lastMatchedObservation_; }
    const std::optional<double>& knownEntryPrice() const { return knownEntryPrice_; }
    const std::optional<double>& knownEntryPriceTolerance() const { return knownEntryPriceTolerance_; }

    bool operator==(const ChartPositionDebouncer&) const = default;

private:
    std::optional<ChartPositionTransition> ingestReadable(const ChartTradeObservation& observation, double position);
    std::optional<ChartPositionTransition> ingestUnreadable(const ChartTradeObservation& observation);
    bool changeCorroborated(const ChartTradeObservation& observation,
                            const std::optional<ChartTradeObservation>& previous, double active,
                            double position) const;
    bool entryCouldBeSeen(const ChartTradeObservation& observation) const;
    ChartTradeObservation closeObservation(const ChartTradeObservation& observation) const;
    void clearCandidate();

    std::int64_t openConfirmations_;
    std::int64_t changeConfirmations_;
    std::int64_t closeConfirmations_;
    std::optional<double> activePosition_;
    std::int64_t consecutivePresent_ = 0;
    std::int64_t consecutiveAbsent_ = 0;
    std::int64_t heldAbsentScans_ = 0;
    bool positionLineHeld_ = false;
    bool positionOffScreen_ = false;
    std::int64_t uncorroboratedChangeScans_ = 0;
    std::optional<double> candidatePosition_;
    std::int64_t candidateConfirmations_ = 0;
    std::optional<ChartTradeObservation> lastMatchedObservation_;
    std::optional<double> knownEntryPrice_;
    std::optional<double> knownEntryPriceTolerance_;
};

}  // namespace halvex
