#pragma once

// Sample records and JSON checks shared by the chart record and watcher tests. Header only, so it
// stays out of the library.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartTradeObservation.h"
#include "core/support/JSONEncoding.h"

namespace halvex::testing {

inline ChartOCRCandidate fullCandidate() {
    return {"2 +125.50 USD", 0.91, 0.61, 0.42, 0.08, 0.02, "active-long", 2.0, "no-position-line",
            ChartNormalizedRect{0.58, 0.42, 0.02, 0.021}};
}

// Every optional field present, every boolean true, so a lost key shows.
inline ChartTradeObservation fullObservation() {
    ChartTradeObservation o;
    o.observedAt = 1'765'366'000.25;
    o.detected = true;
    o.position = -3;
    o.pnl = -42.5;
    o.currency = "USD";
    o.confidence = 0.92;
    o.evidence = {"filled-position-badge", "position-line-coverage 0.84"};
    o.textSnippets = {"-3 -42.50 USD", "ES1!"};
    o.recognizedTextCount = 17;
    o.candidates = {fullCandidate(), ChartOCRCandidate{"ES1!", 0.5, 0.1, 0.9, 0.05, 0.02, {}, {}, {}, {}}};
    o.selectionLog = {"selected [active-short]: -3 -42.50 USD"};
    o.takeProfit = ChartProtectiveLevel{120.0, "USD", "TP 120.00 USD", 5012.25};
    o.stopLoss = ChartProtectiveLevel{8, "ticks", {}, {}};
    o.pane = ChartPane{1, 2, 0.5, 1.0};
    o.symbol = "ES1!";
    o.valuesCarriedForward = true;
    o.valueAgeSeconds = 1.5;
    o.labelRect = ChartNormalizedRect{0.6, 0.4, 0.1, 0.03};
    o.badgeRect = ChartNormalizedRect{0.58, 0.4, 0.02, 0.03};
    o.positionLinePresent = true;
    o.positionLineCoverage = 0.84;
    o.viewportShift = 0.001;
    o.badgeSide = -1;
    o.entryPrice = 5001.75;
    o.entryPriceTolerance = 0.25;
    o.visiblePriceLow = 4980.0;
    o.visiblePriceHigh = 5030.5;
    o.priceAxisReadable = true;
    o.positionOffScreen = true;
    o.platform = ChartPlatform::wealthcharts;
    o.sideBasis = ChartSideBasis::bracketVerb;
    o.pointValue = 50;
    o.pointValueBasis = ChartPointValueBasis::instrumentTable;
    o.inferredInstrumentRoot = "ES";
    return o;
}

inline std::set<std::string> keysOf(const nlohmann::json& object) {
    std::set<std::string> keys;
    for (const auto& item : object.items()) keys.insert(item.key());
    return keys;
}

// A JSON value of a different type from `value`, for wrong-type decoding checks.
inline nlohmann::json wrongTypeFor(const nlohmann::json& value) {
    if (value.is_string()) return 7;
    if (value.is_boolean()) return "true";
    if (value.is_number()) return true;
    if (value.is_array()) return nlohmann::json::object();
    return nlohmann::json::array();
}

// Decoding a fully populated record's JSON fails when a required key is missing or any key holds a
// wrong type, and succeeds without any optional key.
template <typename Decode>
void expectStrictDecoding(const nlohmann::json& full, Decode decode, const std::set<std::string>& requiredKeys) {
    for (const auto& item : full.items()) {
        nlohmann::json without = full;
        without.erase(item.key());
        if (requiredKeys.count(item.key())) {
            EXPECT_THROW(decode(without), nlohmann::json::exception) << "missing " << item.key();
        } else {
            EXPECT_NO_THROW(decode(without)) << "missing optional " << item.key();
        }
        nlohmann::json wrong = full;
        wrong[item.key()] = wrongTypeFor(item.value());
        EXPECT_THROW(decode(wrong), nlohmann::json::exception) << "wrong type for " << item.key();
    }
    nlohmann::json minimal = nlohmann::json::object();
    for (const auto& key : requiredKeys) minimal[key] = full.at(key);
    EXPECT_NO_THROW(decode(minimal));
    EXPECT_THROW(decode(nlohmann::json::array()), nlohmann::json::exception);
}

// Encodes through the wire encoder and parses the text back, as a client would see it.
inline nlohmann::json throughWire(const nlohmann::json& json) {
    return nlohmann::json::parse(halvexEncodeCompact(json));
}

}  // namespace halvex::testing
