#include <gtest/gtest.h>

#include "core/chart/records/ChartPositionEvent.h"
#include "core/chart/records/ChartRecordTestSamples.h"
#include "core/chart/records/ChartWatcherEvent.h"

namespace halvex {
namespace {

using testing::expectStrictDecoding;
using testing::keysOf;
using testing::throughWire;

const std::set<std::string> requiredEventKeys{"symbol",           "position",          "confidence",
                                              "occurredAt",       "valuesCarriedForward", "positionOffScreen",
                                              "platform",         "sideBasis"};

ChartPositionEvent fullEvent() {
    return {"ES1!",
            -2,
            5001.75,
            -42.5,
            "USD",
            0.9,
            1'765'366'000.5,
            ChartProtectiveLevel{120, "USD", "TP", 5012.0},
            ChartProtectiveLevel{-60, "USD", {}, {}},
            "ES1!",
            ChartPane{0, 2, 0.0, 0.5},
            true,
            1.25,
            0.25,
            true,
            ChartPlatform::wealthcharts,
            ChartSideBasis::badgeColour};
}

TEST(ChartPositionEventJSON, AllSeventeenKeysAndRoundTrip) {
    const auto event = fullEvent();
    const auto json = throughWire(toJSON(event));
    EXPECT_EQ(keysOf(json), (std::set<std::string>{"symbol", "position", "price", "pnl", "currency", "confidence",
                                                   "occurredAt", "takeProfit", "stopLoss", "detectedSymbol", "pane",
                                                   "valuesCarriedForward", "valueAgeSeconds",
                                                   "entryPriceTolerance", "positionOffScreen", "platform",
                                                   "sideBasis"}));
    EXPECT_EQ(json.at("platform"), "wealthcharts");
    EXPECT_EQ(json.at("sideBasis"), "badge-colour");
    EXPECT_EQ(chartPositionEventFromJSON(json), event);
    expectStrictDecoding(json, chartPositionEventFromJSON, requiredEventKeys);
    auto unknown = json;
    unknown["sideBasis"] = "badge-color";
    EXPECT_THROW(chartPositionEventFromJSON(unknown), nlohmann::json::exception);
}

TEST(ChartPositionEventJSON, ACloseWithoutAReadSymbolCarriesOnlyTheFallback) {
    ChartPositionEvent close;
    close.symbol = "TRADINGVIEW";
    close.position = 0;
    close.occurredAt = 1'765'366'010.0;
    close.sideBasis = ChartSideBasis::unknown;
    const auto json = throughWire(toJSON(close));
    EXPECT_EQ(keysOf(json), requiredEventKeys);
    EXPECT_EQ(json.at("symbol"), "TRADINGVIEW");
    EXPECT_FALSE(json.contains("detectedSymbol"));
    EXPECT_EQ(json.at("platform"), "tradingview");
    EXPECT_EQ(chartPositionEventFromJSON(json), close);
}

TEST(ChartPositionEvent, FilledFromTheConfirmingObservation) {
    const auto observation = testing::fullObservation();
    const auto event = ChartPositionEvent::fromObservation(observation, -3, "TRADINGVIEW", ChartPlatform::tradingview,
                                                           ChartSideBasis::lastPrice);
    const ChartPositionEvent expected{"ES1!",
                                      -3,
                                      observation.entryPrice,
                                      observation.pnl,
                                      observation.currency,
                                      observation.confidence,
                                      observation.observedAt,
                                      observation.takeProfit,
                                      observation.stopLoss,
                                      "ES1!",
                                      observation.pane,
                                      true,
                                      observation.valueAgeSeconds,
                                      observation.entryPriceTolerance,
                                      true,
                                      ChartPlatform::tradingview,
                                      ChartSideBasis::lastPrice};
    EXPECT_EQ(event, expected);

    auto unnamed = observation;
    unnamed.symbol.reset();
    const auto fallback = ChartPositionEvent::fromObservation(unnamed, 0, "MES", ChartPlatform::wealthcharts,
                                                              ChartSideBasis::unknown);
    EXPECT_EQ(fallback.symbol, "MES");
    EXPECT_FALSE(toJSON(fallback).contains("detectedSymbol"));
}

TEST(ChartWatcherEvent, CasesInOrderAndAFailureCarriesOnlyText) {
    const ChartWatcherEvent failure = ChartWatcherScanFailure{"scan failed: recogniser unavailable"};
    EXPECT_EQ(failure.index(), 2u);
    EXPECT_EQ(std::get<ChartWatcherScanFailure>(failure).description, "scan failed: recogniser unavailable");
    EXPECT_EQ(ChartWatcherEvent(ChartWatcherStatus()).index(), 0u);
    EXPECT_EQ(ChartWatcherEvent(fullEvent()).index(), 1u);
}

}  // namespace
}  // namespace halvex
