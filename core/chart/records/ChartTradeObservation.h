#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartOCRCandidate.h"
#include "core/chart/records/ChartPlatform.h"
#include "core/chart/records/ChartPointValueBasis.h"
#include "core/chart/records/ChartProtectiveLevel.h"
#include "core/chart/records/ChartSideBasis.h"

namespace halvex {

// One scan's reading of one chart. The derivation operations return modified copies so that the
// readers can annotate a reading step by step without sharing it.
struct ChartTradeObservation {
    // A shift of the chart content at least this large (normalised) means the user is scrolling.
    static constexpr double viewportMotionThreshold = 0.006;

    double observedAt = 0;
    bool detected = false;
    std::optional<double> position;  // signed size: positive long, negative short
    std::optional<double> pnl;
    std::optional<std::string> currency;
    double confidence = 0;
    std::vector<std::string> evidence;  // newest first
    std::vector<std::string> textSnippets;
    std::int64_t recognizedTextCount = 0;
    std::vector<ChartOCRCandidate> candidates;
    std::vector<std::string> selectionLog;
    std::optional<ChartProtectiveLevel> takeProfit;
    std::optional<ChartProtectiveLevel> stopLoss;
    std::optional<ChartPane> pane;
    std::optional<std::string> symbol;
    bool valuesCarriedForward = false;
    std::optional<double> valueAgeSeconds;
    std::optional<ChartNormalizedRect> labelRect;
    std::optional<ChartNormalizedRect> badgeRect;
    bool positionLinePresent = false;
    std::optional<double> positionLineCoverage;
    std::optional<double> viewportShift;
    std::optional<std::int64_t> badgeSide;  // +1 long, -1 short
    std::optional<double> entryPrice;
    std::optional<double> entryPriceTolerance;
    std::optional<double> visiblePriceLow;
    std::optional<double> visiblePriceHigh;
    bool priceAxisReadable = false;
    bool positionOffScreen = false;
    std::optional<ChartPlatform> platform;
    std::optional<ChartSideBasis> sideBasis;
    std::optional<double> pointValue;
    std::optional<ChartPointValueBasis> pointValueBasis;
    std::optional<std::string> inferredInstrumentRoot;

    bool operator==(const ChartTradeObservation&) const = default;

    bool viewportMoving() const { return viewportShift && *viewportShift >= viewportMotionThreshold; }
    // A size change may only be believed from values read in this scan on a still chart.
    bool corroboratesQuantityChange() const { return !valuesCarriedForward && !viewportMoving(); }

    // Sets `positionLinePresent`; every other argument replaces its field only when present.
    ChartTradeObservation withPresence(bool positionLinePresentValue, std::optional<double> coverage,
                                       std::optional<double> shift, std::optional<std::int64_t> side,
                                       std::optional<ChartNormalizedRect> label,
                                       std::optional<ChartNormalizedRect> badge) const;
    // Puts `tag` in front of the evidence.
    ChartTradeObservation withEvidence(const std::string& tag) const;
    // Sets all five price-axis fields, absent values included.
    ChartTradeObservation withPriceAxis(std::optional<double> entry, std::optional<double> tolerance,
                                        std::optional<double> low, std::optional<double> high,
                                        bool readable) const;
    // Sets all five platform fields, absent values included.
    ChartTradeObservation withPlatformReading(std::optional<ChartPlatform> platformValue,
                                              std::optional<ChartSideBasis> basis,
                                              std::optional<double> pointValueValue,
                                              std::optional<ChartPointValueBasis> pointBasis,
                                              std::optional<std::string> instrumentRoot) const;
    // Sets position, side basis and badge side (absent included); a present tag goes in front of
    // the evidence.
    ChartTradeObservation withSide(std::optional<double> positionValue, std::optional<ChartSideBasis> basis,
                                   std::optional<std::int64_t> side,
                                   const std::optional<std::string>& addingEvidence) const;
    ChartTradeObservation markingPositionOffScreen(bool offScreen) const;
};

nlohmann::json toJSON(const ChartTradeObservation& observation);
// Throws nlohmann::json::exception on a missing required key, a wrong type or an unknown raw value.
ChartTradeObservation chartTradeObservationFromJSON(const nlohmann::json& json);

}  // namespace halvex
