#include <gtest/gtest.h>

#include "core/chart/records/ChartRecordTestSamples.h"
#include "core/chart/records/ChartTradeObservation.h"

namespace halvex {
namespace {

using testing::expectStrictDecoding;
using testing::fullObservation;
using testing::keysOf;
using testing::throughWire;

const std::set<std::string> requiredObservationKeys{
    "observedAt",   "detected",    "confidence",           "evidence",           "textSnippets",
    "recognizedTextCount",         "candidates",           "selectionLog",       "valuesCarriedForward",
    "positionLinePresent",         "priceAxisReadable",    "positionOffScreen"};

const std::set<std::string> allObservationKeys{
    "observedAt",       "detected",           "position",          "pnl",
    "currency",         "confidence",         "evidence",          "textSnippets",
    "recognizedTextCount", "candidates",      "selectionLog",      "takeProfit",
    "stopLoss",         "pane",               "symbol",            "valuesCarriedForward",
    "valueAgeSeconds",  "labelRect",          "badgeRect",         "positionLinePresent",
    "positionLineCoverage", "viewportShift",  "badgeSide",         "entryPrice",
    "entryPriceTolerance", "visiblePriceLow", "visiblePriceHigh",  "priceAxisReadable",
    "positionOffScreen", "platform",          "sideBasis",         "pointValue",
    "pointValueBasis",  "inferredInstrumentRoot"};

TEST(ChartTradeObservationJSON, EmptyObservationWritesOnlyTheTwelveRequiredKeys) {
    const ChartTradeObservation empty;
    const auto json = throughWire(toJSON(empty));
    EXPECT_EQ(keysOf(json), requiredObservationKeys);
    EXPECT_EQ(chartTradeObservationFromJSON(json), empty);
    EXPECT_TRUE(json.at("candidates").is_array());
    EXPECT_TRUE(json.at("recognizedTextCount").is_number_integer());
}

TEST(ChartTradeObservationJSON, FullObservationWritesAllKeysWithRawValuesAndRoundTrips) {
    const auto full = fullObservation();
    const auto json = throughWire(toJSON(full));
    EXPECT_EQ(keysOf(json), allObservationKeys);
    EXPECT_EQ(json.at("platform"), "wealthcharts");
    EXPECT_EQ(json.at("sideBasis"), "bracket-verb");
    EXPECT_EQ(json.at("pointValueBasis"), "instrument-table");
    EXPECT_EQ(json.at("badgeSide"), -1);
    EXPECT_EQ(json.at("pane"), (nlohmann::json{{"index", 1}, {"count", 2}, {"minX", 0.5}, {"maxX", 1.0}}));
    EXPECT_EQ(json.at("stopLoss"), (nlohmann::json{{"value", 8.0}, {"unit", "ticks"}}));
    EXPECT_EQ(keysOf(json.at("candidates").at(0)),
              (std::set<std::string>{"text", "confidence", "x", "y", "width", "height", "visualRole",
                                     "quantityHint", "rejectionReason", "badgeRect"}));
    EXPECT_EQ(keysOf(json.at("candidates").at(1)),
              (std::set<std::string>{"text", "confidence", "x", "y", "width", "height"}));
    EXPECT_EQ(chartTradeObservationFromJSON(json), full);
}

TEST(ChartTradeObservationJSON, DecodingIsStrict) {
    const auto json = throughWire(toJSON(fullObservation()));
    expectStrictDecoding(json, chartTradeObservationFromJSON, requiredObservationKeys);

    for (const char* key : {"platform", "sideBasis", "pointValueBasis"}) {
        auto unknown = json;
        unknown[key] = "Wealthcharts";
        EXPECT_THROW(chartTradeObservationFromJSON(unknown), nlohmann::json::exception) << key;
    }
    auto nested = json;
    nested["candidates"][0].erase("confidence");
    EXPECT_THROW(chartTradeObservationFromJSON(nested), nlohmann::json::exception);
    nested = json;
    nested["takeProfit"].erase("unit");
    EXPECT_THROW(chartTradeObservationFromJSON(nested), nlohmann::json::exception);
    nested = json;
    nested["evidence"] = nlohmann::json::array({"ok", 3});
    EXPECT_THROW(chartTradeObservationFromJSON(nested), nlohmann::json::exception);
    nested = json;
    nested["badgeSide"] = 1.5;
    EXPECT_THROW(chartTradeObservationFromJSON(nested), nlohmann::json::exception);

    // A null optional reads as absent, as an omitted one does.
    auto withNull = json;
    withNull["pnl"] = nullptr;
    EXPECT_EQ(chartTradeObservationFromJSON(withNull).pnl, std::nullopt);
}

TEST(ChartTradeObservation, ViewportMotionStartsAtTheThreshold) {
    struct Case {
        std::optional<double> shift;
        bool carried;
        bool moving;
        bool corroborates;
    };
    const Case cases[] = {
        {std::nullopt, false, false, true}, {0.0, false, false, true},   {0.0059, false, false, true},
        {0.006, false, true, false},        {0.2, false, true, false},   {std::nullopt, true, false, false},
        {0.001, true, false, false},
    };
    for (const auto& c : cases) {
        ChartTradeObservation o;
        o.viewportShift = c.shift;
        o.valuesCarriedForward = c.carried;
        EXPECT_EQ(o.viewportMoving(), c.moving) << c.shift.value_or(-1);
        EXPECT_EQ(o.corroboratesQuantityChange(), c.corroborates) << c.shift.value_or(-1) << " " << c.carried;
    }
}

TEST(ChartTradeObservation, WithEvidencePutsTheNewTagFirst) {
    ChartTradeObservation o;
    o.evidence = {"b", "c"};
    EXPECT_EQ(o.withEvidence("a").evidence, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(o.evidence, (std::vector<std::string>{"b", "c"}));
}

TEST(ChartTradeObservation, WithPresenceReplacesOnlyWhatIsGiven) {
    const auto full = fullObservation();
    auto expected = full;
    expected.positionLinePresent = false;
    EXPECT_EQ(full.withPresence(false, {}, {}, {}, {}, {}), expected);

    const ChartNormalizedRect label{0.1, 0.2, 0.3, 0.04};
    const ChartNormalizedRect badge{0.08, 0.2, 0.02, 0.04};
    const auto updated = ChartTradeObservation().withPresence(true, 0.5, 0.01, 1, label, badge);
    EXPECT_TRUE(updated.positionLinePresent);
    EXPECT_EQ(updated.positionLineCoverage, 0.5);
    EXPECT_EQ(updated.viewportShift, 0.01);
    EXPECT_EQ(updated.badgeSide, 1);
    EXPECT_EQ(updated.labelRect, label);
    EXPECT_EQ(updated.badgeRect, badge);
}

TEST(ChartTradeObservation, SettersOfGroupsClearAbsentValues) {
    const auto full = fullObservation();

    const auto axis = full.withPriceAxis({}, {}, 10.0, {}, false);
    EXPECT_EQ(axis.entryPrice, std::nullopt);
    EXPECT_EQ(axis.entryPriceTolerance, std::nullopt);
    EXPECT_EQ(axis.visiblePriceLow, 10.0);
    EXPECT_EQ(axis.visiblePriceHigh, std::nullopt);
    EXPECT_FALSE(axis.priceAxisReadable);
    EXPECT_EQ(axis.withPriceAxis(full.entryPrice, full.entryPriceTolerance, full.visiblePriceLow,
                                 full.visiblePriceHigh, true),
              full);

    const auto platform = full.withPlatformReading(ChartPlatform::tradingview, {}, {}, {}, {});
    EXPECT_EQ(platform.platform, ChartPlatform::tradingview);
    EXPECT_EQ(platform.sideBasis, std::nullopt);
    EXPECT_EQ(platform.pointValue, std::nullopt);
    EXPECT_EQ(platform.pointValueBasis, std::nullopt);
    EXPECT_EQ(platform.inferredInstrumentRoot, std::nullopt);

    const auto side = full.withSide(2.0, ChartSideBasis::lastPrice, {}, std::string("side-from-last-price"));
    EXPECT_EQ(side.position, 2.0);
    EXPECT_EQ(side.sideBasis, ChartSideBasis::lastPrice);
    EXPECT_EQ(side.badgeSide, std::nullopt);
    EXPECT_EQ(side.evidence.front(), "side-from-last-price");
    EXPECT_EQ(side.evidence.size(), full.evidence.size() + 1);
    EXPECT_EQ(full.withSide({}, {}, -1, std::nullopt).evidence, full.evidence);

    EXPECT_FALSE(full.markingPositionOffScreen(false).positionOffScreen);
    EXPECT_TRUE(ChartTradeObservation().markingPositionOffScreen(true).positionOffScreen);
}

}  // namespace
}  // namespace halvex
