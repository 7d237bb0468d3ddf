#include "core/chart/records/ChartTradeObservation.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

using namespace strictjson;

ChartTradeObservation ChartTradeObservation::withPresence(bool positionLinePresentValue,
                                                          std::optional<double> coverage,
                                                          std::optional<double> shift,
                                                          std::optional<std::int64_t> side,
                                                          std::optional<ChartNormalizedRect> label,
                                                          std::optional<ChartNormalizedRect> badge) const {
    ChartTradeObservation copy = *this;
    copy.positionLinePresent = positionLinePresentValue;
    if (coverage) copy.positionLineCoverage = coverage;
    if (shift) copy.viewportShift = shift;
    if (side) copy.badgeSide = side;
    if (label) copy.labelRect = label;
    if (badge) copy.badgeRect = badge;
    return copy;
}

ChartTradeObservation ChartTradeObservation::withEvidence(const std::string& tag) const {
    ChartTradeObservation copy = *this;
    copy.evidence.insert(copy.evidence.begin(), tag);
    return copy;
}

ChartTradeObservation ChartTradeObservation::withPriceAxis(std::optional<double> entry,
                                                           std::optional<double> tolerance,
                                                           std::optional<double> low, std::optional<double> high,
                                                           bool readable) const {
    ChartTradeObservation copy = *this;
    copy.entryPrice = entry;
    copy.entryPriceTolerance = tolerance;
    copy.visiblePriceLow = low;
    copy.visiblePriceHigh = high;
    copy.priceAxisReadable = readable;
    return copy;
}

ChartTradeObservation ChartTradeObservation::withPlatformReading(std::optional<ChartPlatform> platformValue,
                                                                 std::optional<ChartSideBasis> basis,
                                                                 std::optional<double> pointValueValue,
                                                                 std::optional<ChartPointValueBasis> pointBasis,
                                                                 std::optional<std::string> instrumentRoot) const {
    ChartTradeObservation copy = *this;
    copy.platform = platformValue;
    copy.sideBasis = basis;
    copy.pointValue = pointValueValue;
    copy.pointValueBasis = pointBasis;
    copy.inferredInstrumentRoot = std::move(instrumentRoot);
    return copy;
}

ChartTradeObservation ChartTradeObservation::withSide(std::optional<double> positionValue,
                                                      std::optional<ChartSideBasis> basis,
                                                      std::optional<std::int64_t> side,
                                                      const std::optional<std::string>& addingEvidence) const {
    ChartTradeObservation copy = addingEvidence ? withEvidence(*addingEvidence) : *this;
    copy.position = positionValue;
    copy.sideBasis = basis;
    copy.badgeSide = side;
    return copy;
}

ChartTradeObservation ChartTradeObservation::markingPositionOffScreen(bool offScreen) const {
    ChartTradeObservation copy = *this;
    copy.positionOffScreen = offScreen;
    return copy;
}

namespace {

template <typename E>
void setOptionalRaw(nlohmann::json& json, const char* key, const std::optional<E>& value) {
    if (value) json[key] = rawValue(*value);
}

}  // namespace

nlohmann::json toJSON(const ChartTradeObservation& o) {
    nlohmann::json json = nlohmann::json::object();
    json["observedAt"] = o.observedAt;
    json["detected"] = o.detected;
    halvexSetOptional(json, "position", o.position);
    halvexSetOptional(json, "pnl", o.pnl);
    halvexSetOptional(json, "currency", o.currency);
    json["confidence"] = o.confidence;
    json["evidence"] = o.evidence;
    json["textSnippets"] = o.textSnippets;
    json["recognizedTextCount"] = o.recognizedTextCount;
    json["candidates"] = arrayJSON(o.candidates);
    json["selectionLog"] = o.selectionLog;
    setOptionalRecord(json, "takeProfit", o.takeProfit);
    setOptionalRecord(json, "stopLoss", o.stopLoss);
    setOptionalRecord(json, "pane", o.pane);
    halvexSetOptional(json, "symbol", o.symbol);
    json["valuesCarriedForward"] = o.valuesCarriedForward;
    halvexSetOptional(json, "valueAgeSeconds", o.valueAgeSeconds);
    setOptionalRecord(json, "labelRect", o.labelRect);
    setOptionalRecord(json, "badgeRect", o.badgeRect);
    json["positionLinePresent"] = o.positionLinePresent;
    halvexSetOptional(json, "positionLineCoverage", o.positionLineCoverage);
    halvexSetOptional(json, "viewportShift", o.viewportShift);
    halvexSetOptional(json, "badgeSide", o.badgeSide);
    halvexSetOptional(json, "entryPrice", o.entryPrice);
    halvexSetOptional(json, "entryPriceTolerance", o.entryPriceTolerance);
    halvexSetOptional(json, "visiblePriceLow", o.visiblePriceLow);
    halvexSetOptional(json, "visiblePriceHigh", o.visiblePriceHigh);
    json["priceAxisReadable"] = o.priceAxisReadable;
    json["positionOffScreen"] = o.positionOffScreen;
    setOptionalRaw(json, "platform", o.platform);
    setOptionalRaw(json, "sideBasis", o.sideBasis);
    halvexSetOptional(json, "pointValue", o.pointValue);
    setOptionalRaw(json, "pointValueBasis", o.pointValueBasis);
    halvexSetOptional(json, "inferredInstrumentRoot", o.inferredInstrumentRoot);
    return json;
}

ChartTradeObservation chartTradeObservationFromJSON(const nlohmann::json& json) {
    ChartTradeObservation o;
    o.observedAt = requiredDouble(json, "observedAt");
    o.detected = requiredBool(json, "detected");
    o.position = optionalDouble(json, "position");
    o.pnl = optionalDouble(json, "pnl");
    o.currency = optionalString(json, "currency");
    o.confidence = requiredDouble(json, "confidence");
    o.evidence = requiredStrings(json, "evidence");
    o.textSnippets = requiredStrings(json, "textSnippets");
    o.recognizedTextCount = requiredInteger(json, "recognizedTextCount");
    o.candidates = requiredArray(json, "candidates", chartOCRCandidateFromJSON);
    o.selectionLog = requiredStrings(json, "selectionLog");
    o.takeProfit = optionalRecord(json, "takeProfit", chartProtectiveLevelFromJSON);
    o.stopLoss = optionalRecord(json, "stopLoss", chartProtectiveLevelFromJSON);
    o.pane = optionalRecord(json, "pane", chartPaneFromJSON);
    o.symbol = optionalString(json, "symbol");
    o.valuesCarriedForward = requiredBool(json, "valuesCarriedForward");
    o.valueAgeSeconds = optionalDouble(json, "valueAgeSeconds");
    o.labelRect = optionalRecord(json, "labelRect", chartNormalizedRectFromJSON);
    o.badgeRect = optionalRecord(json, "badgeRect", chartNormalizedRectFromJSON);
    o.positionLinePresent = requiredBool(json, "positionLinePresent");
    o.positionLineCoverage = optionalDouble(json, "positionLineCoverage");
    o.viewportShift = optionalDouble(json, "viewportShift");
    o.badgeSide = optionalInteger(json, "badgeSide");
    o.entryPrice = optionalDouble(json, "entryPrice");
    o.entryPriceTolerance = optionalDouble(json, "entryPriceTolerance");
    o.visiblePriceLow = optionalDouble(json, "visiblePriceLow");
    o.visiblePriceHigh = optionalDouble(json, "visiblePriceHigh");
    o.priceAxisReadable = requiredBool(json, "priceAxisReadable");
    o.positionOffScreen = requiredBool(json, "positionOffScreen");
    o.platform = optionalEnum(json, "platform", parseChartPlatform);
    o.sideBasis = optionalEnum(json, "sideBasis", parseChartSideBasis);
    o.pointValue = optionalDouble(json, "pointValue");
    o.pointValueBasis = optionalEnum(json, "pointValueBasis", parseChartPointValueBasis);
    o.inferredInstrumentRoot = optionalString(json, "inferredInstrumentRoot");
    return o;
}

}  // namespace halvex
