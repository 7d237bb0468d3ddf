#include "core/chart/records/ChartPositionEvent.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

using namespace strictjson;

ChartPositionEvent ChartPositionEvent::fromObservation(const ChartTradeObservation& observation, double position,
                                                       const std::string& fallbackSymbol, ChartPlatform platform,
                                                       ChartSideBasis sideBasis) {
    ChartPositionEvent e;
    e.symbol = observation.symbol.value_or(fallbackSymbol);
    e.position = position;
    e.price = observation.entryPrice;
    e.pnl = observation.pnl;
    e.currency = observation.currency;
    e.confidence = observation.confidence;
    e.occurredAt = observation.observedAt;
    e.takeProfit = observation.takeProfit;
    e.stopLoss = observation.stopLoss;
    e.detectedSymbol = observation.symbol;
    e.pane = observation.pane;
    e.valuesCarriedForward = observation.valuesCarriedForward;
    e.valueAgeSeconds = observation.valueAgeSeconds;
    e.entryPriceTolerance = observation.entryPriceTolerance;
    e.positionOffScreen = observation.positionOffScreen;
    e.platform = platform;
    e.sideBasis = sideBasis;
    return e;
}

nlohmann::json toJSON(const ChartPositionEvent& e) {
    nlohmann::json json = nlohmann::json::object();
    json["symbol"] = e.symbol;
    json["position"] = e.position;
    halvexSetOptional(json, "price", e.price);
    halvexSetOptional(json, "pnl", e.pnl);
    halvexSetOptional(json, "currency", e.currency);
    json["confidence"] = e.confidence;
    json["occurredAt"] = e.occurredAt;
    setOptionalRecord(json, "takeProfit", e.takeProfit);
    setOptionalRecord(json, "stopLoss", e.stopLoss);
    halvexSetOptional(json, "detectedSymbol", e.detectedSymbol);
    setOptionalRecord(json, "pane", e.pane);
    json["valuesCarriedForward"] = e.valuesCarriedForward;
    halvexSetOptional(json, "valueAgeSeconds", e.valueAgeSeconds);
    halvexSetOptional(json, "entryPriceTolerance", e.entryPriceTolerance);
    json["positionOffScreen"] = e.positionOffScreen;
    json["platform"] = rawValue(e.platform);
    json["sideBasis"] = rawValue(e.sideBasis);
    return json;
}

ChartPositionEvent chartPositionEventFromJSON(const nlohmann::json& json) {
    ChartPositionEvent e;
    e.symbol = requiredString(json, "symbol");
    e.position = requiredDouble(json, "position");
    e.price = optionalDouble(json, "price");
    e.pnl = optionalDouble(json, "pnl");
    e.currency = optionalString(json, "currency");
    e.confidence = requiredDouble(json, "confidence");
    e.occurredAt = requiredDouble(json, "occurredAt");
    e.takeProfit = optionalRecord(json, "takeProfit", chartProtectiveLevelFromJSON);
    e.stopLoss = optionalRecord(json, "stopLoss", chartProtectiveLevelFromJSON);
    e.detectedSymbol = optionalString(json, "detectedSymbol");
    e.pane = optionalRecord(json, "pane", chartPaneFromJSON);
    e.valuesCarriedForward = requiredBool(json, "valuesCarriedForward");
    e.valueAgeSeconds = optionalDouble(json, "valueAgeSeconds");
    e.entryPriceTolerance = optionalDouble(json, "entryPriceTolerance");
    e.positionOffScreen = requiredBool(json, "positionOffScreen");
    e.platform = requiredEnum(json, "platform", parseChartPlatform);
    e.sideBasis = requiredEnum(json, "sideBasis", parseChartSideBasis);
    return e;
}

}  // namespace halvex
