#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartPlatform.h"
#include "core/chart/records/ChartProtectiveLevel.h"
#include "core/chart/records/ChartSideBasis.h"
#include "core/chart/records/ChartTradeObservation.h"

namespace halvex {

// What the watcher reports when a position transition is confirmed. The receiver derives the kind
// of transition from the sequence of positions.
struct ChartPositionEvent {
    std::string symbol;   // read symbol, or the fallback for the configured symbol and platform
    double position = 0;  // new signed position, 0 for a close
    std::optional<double> price;
    std::optional<double> pnl;
    std::optional<std::string> currency;
    double confidence = 0;
    double occurredAt = 0;
    std::optional<ChartProtectiveLevel> takeProfit;
    std::optional<ChartProtectiveLevel> stopLoss;
    std::optional<std::string> detectedSymbol;  // the symbol as read, absent when none was
    std::optional<ChartPane> pane;
    bool valuesCarriedForward = false;
    std::optional<double> valueAgeSeconds;
    std::optional<double> entryPriceTolerance;
    bool positionOffScreen = false;
    ChartPlatform platform = ChartPlatform::tradingview;
    ChartSideBasis sideBasis = ChartSideBasis::unknown;

    bool operator==(const ChartPositionEvent&) const = default;

    // The event for a confirmed transition to `position`, filled from the transition's observation.
    // `fallbackSymbol` stands in `symbol` when the chart showed none; `detectedSymbol` then stays absent.
    static ChartPositionEvent fromObservation(const ChartTradeObservation& observation, double position,
                                              const std::string& fallbackSymbol, ChartPlatform platform,
                                              ChartSideBasis sideBasis);
};

nlohmann::json toJSON(const ChartPositionEvent& event);
// Throws nlohmann::json::exception on a missing required key, a wrong type or an unknown raw value.
ChartPositionEvent chartPositionEventFromJSON(const nlohmann::json& json);

}  // namespace halvex
