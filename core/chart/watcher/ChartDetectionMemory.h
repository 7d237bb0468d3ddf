#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartOCRCandidate.h"
#include "core/chart/records/ChartTradeObservation.h"

namespace halvex {

// The last good reading of one platform's reader and where its label and badge were, so a scan whose
// label is unreadable can look for the position at the remembered place and, briefly, carry the last
// values forward. It refuses a reading whose badge looks nothing like the remembered one, at most
// twice in a row, so a stray label elsewhere does not take over at once. A plain value.
class ChartDetectionMemory {
public:
    // Where the label was last seen.
    struct Sighting {
        ChartNormalizedRect text;
        ChartNormalizedRect badge;
        std::int64_t side = 1;  // +1 long, -1 short

        bool operator==(const Sighting&) const = default;
    };

    static constexpr double carryForwardMaximumAge = 3.0;
    static constexpr std::int64_t maximumRejectedSightings = 2;

    ChartDetectionMemory() = default;

    // Offers a reading with a readable position; false when it was not recorded (no readable
    // position, or a badge unlike the remembered one for the first or second time in a row).
    bool recordRead(const ChartTradeObservation& observation, const std::optional<Sighting>& sighting);
    // Moves the sighting without a reading; a change of side restarts the carried-scan count.
    void recordSighting(const Sighting& sighting);
    // Moves the sighting and counts one carried scan.
    void recordCarry(const Sighting& sighting);
    void forget();

    // Seconds since the last reading, never negative; absent without one.
    std::optional<double> age(double at) const;
    // Whether the last reading may stand in for this scan's: same side and not older than maximumAge.
    bool canCarryForward(double at, std::int64_t side, double maximumAge = carryForwardMaximumAge) const;
    // The last reading re-issued for time `at` at `sighting`, marked as carried forward; absent
    // without a last reading.
    std::optional<ChartTradeObservation> carriedForwardObservation(double at, const Sighting& sighting,
                                                                   std::int64_t recognizedTextCount,
                                                                   std::vector<ChartOCRCandidate> candidates,
                                                                   const std::vector<std::string>& extraEvidence) const;

    const std::optional<Sighting>& sighting() const { return sighting_; }
    const std::optional<ChartTradeObservation>& lastRead() const { return lastRead_; }
    const std::optional<double>& lastReadAt() const { return lastReadAt_; }
    std::int64_t carriedScans() const { return carriedScans_; }
    std::int64_t rejectedSightings() const { return rejectedSightings_; }

    bool operator==(const ChartDetectionMemory&) const = default;

private:
    std::optional<Sighting> sighting_;
    std::optional<ChartTradeObservation> lastRead_;
    std::optional<double> lastReadAt_;
    std::int64_t carriedScans_ = 0;
    std::int64_t rejectedSightings_ = 0;
};

}  // namespace halvex
