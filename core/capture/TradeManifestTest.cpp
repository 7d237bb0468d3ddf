#include "core/capture/TradeManifest.h"

#include <gtest/gtest.h>

#include <string>

#include "core/capture/SegmentRecord.h"
#include "core/capture/TradeRetention.h"

namespace halvex {
namespace {

using nlohmann::json;

SegmentRecord sampleSegment() {
    SegmentRecord record;
    record.id = "002-000017";
    record.path = "/data/out/segments/capture-A/002-000017.m4s";
    record.initializationPath = "/data/out/segments/capture-A/init-002.mp4";
    record.startedAt = 1700000000.25;
    record.endedAt = 1700000010.5;
    record.durationSeconds = 10.25;
    record.width = 2560;
    record.height = 1440;
    record.byteCount = 5'000'000'000;  // beyond 32 bits
    return record;
}

TEST(SegmentRecordTest, RoundTripsThroughJSON) {
    const auto record = sampleSegment();
    const json encoded = toJSON(record);
    EXPECT_EQ(encoded.at("codec"), "h264");
    EXPECT_EQ(encoded.size(), 10u);
    EXPECT_EQ(segmentRecordFromJSON(json::parse(encoded.dump())), record);
}

// nlohmann's own get<> would turn these into plausible values; a damaged record must not decode.
TEST(SegmentRecordTest, DecodingRefusesMissingKeysAndWrongTypes) {
    const json valid = toJSON(sampleSegment());
    const std::vector<std::pair<const char*, json>> damaged = {
        {"width", 12.5},   {"byteCount", true}, {"startedAt", "1700000000"}, {"height", nullptr},
        {"id", 17},        {"codec", json::array()}, {"endedAt", false},
    };
    for (const auto& [key, value] : damaged) {
        json broken = valid;
        broken[key] = value;
        EXPECT_THROW(segmentRecordFromJSON(broken), json::exception) << key << " = " << value.dump();
    }
    for (const auto& [key, unused] : valid.items()) {
        json missing = valid;
        missing.erase(key);
        EXPECT_THROW(segmentRecordFromJSON(missing), json::exception) << "without " << key;
    }
    EXPECT_THROW(segmentRecordFromJSON(json::array()), json::exception);
    json integralFloat = valid;
    integralFloat["width"] = 2560.0;
    EXPECT_EQ(segmentRecordFromJSON(integralFloat).width, 2560);
}

TEST(SegmentRecordTest, OverlapBoundsAreInclusiveAndAnAbsentEndIsOpen) {
    SegmentRecord record;
    record.startedAt = 10;
    record.endedAt = 20;
    struct Case {
        double start;
        std::optional<double> end;
        bool overlaps;
    };
    const Case cases[] = {{20, std::nullopt, true}, {20.001, std::nullopt, false}, {0, 10.0, true},
                          {0, 9.999, false},        {12, 15.0, true},           {0, 100.0, true},
                          {-5, std::nullopt, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(record.overlaps(c.start, c.end), c.overlaps) << c.start << " " << c.end.value_or(-1);
    }
}

TEST(TradeRetentionTest, OptionalKeysAreOmittedWhileTheTradeIsOpenAndRoundTripWhenSet) {
    TradeRetention open{"s-1", 900, 840, std::nullopt, std::nullopt, false};
    const json openJSON = toJSON(open);
    EXPECT_EQ(openJSON, json::parse(R"({"sessionId":"s-1","occurredAt":900,"retainFrom":840,"completionEmitted":false})"));
    EXPECT_EQ(tradeRetentionFromJSON(openJSON), open);

    TradeRetention ended{"s-1", 900, 840, 950.5, 970.5, true};
    const json endedJSON = toJSON(ended);
    EXPECT_EQ(endedJSON.at("exitOccurredAt"), 950.5);
    EXPECT_EQ(endedJSON.at("retainThrough"), 970.5);
    EXPECT_EQ(tradeRetentionFromJSON(json::parse(endedJSON.dump())), ended);

    json missingFlag = openJSON;
    missingFlag.erase("completionEmitted");
    EXPECT_THROW(tradeRetentionFromJSON(missingFlag), json::exception);
    json wrongOptional = openJSON;
    wrongOptional["retainThrough"] = "970";
    EXPECT_THROW(tradeRetentionFromJSON(wrongOptional), json::exception);
}

TEST(TradeManifestTest, StatusFollowsTheRetention) {
    EXPECT_EQ(tradeManifestStatus({"t", 1, 1, std::nullopt, std::nullopt, false}), TradeManifestStatus::active);
    // An open trade is active even if a completion flag was set from outside.
    EXPECT_EQ(tradeManifestStatus({"t", 1, 1, std::nullopt, std::nullopt, true}), TradeManifestStatus::active);
    EXPECT_EQ(tradeManifestStatus({"t", 1, 1, 2.0, 3.0, false}), TradeManifestStatus::postRoll);
    EXPECT_EQ(tradeManifestStatus({"t", 1, 1, 2.0, 3.0, true}), TradeManifestStatus::ready);
    for (const auto status : {TradeManifestStatus::active, TradeManifestStatus::postRoll, TradeManifestStatus::ready}) {
        EXPECT_EQ(parseTradeManifestStatus(rawValue(status)), status);
    }
    EXPECT_EQ(rawValue(TradeManifestStatus::postRoll), "post-roll");
    EXPECT_EQ(parseTradeManifestStatus("Ready"), std::nullopt);
}

TEST(TradeManifestTest, RoundTripsAndRefusesAnUnknownStatus) {
    TradeManifest manifest;
    manifest.sessionId = "abc";
    manifest.status = TradeManifestStatus::postRoll;
    manifest.occurredAt = 900;
    manifest.retainFrom = 840;
    manifest.exitOccurredAt = 950;
    manifest.retainThrough = 970;
    manifest.manifestPath = "/data/out/manifests/abc.json";
    manifest.segments = {sampleSegment(), sampleSegment()};
    manifest.effectivePreRollSeconds = 30;
    manifest.hasGaps = true;
    const json encoded = toJSON(manifest);
    EXPECT_EQ(encoded.at("schemaVersion"), 2);
    EXPECT_EQ(encoded.at("status"), "post-roll");
    EXPECT_EQ(tradeManifestFromJSON(json::parse(encoded.dump())), manifest);

    json unknownStatus = encoded;
    unknownStatus["status"] = "finished";
    EXPECT_THROW(tradeManifestFromJSON(unknownStatus), json::exception);
    json badSegment = encoded;
    badSegment["segments"][1].erase("path");
    EXPECT_THROW(tradeManifestFromJSON(badSegment), json::exception);
    json notAnArray = encoded;
    notAnArray["segments"] = json::object();
    EXPECT_THROW(tradeManifestFromJSON(notAnArray), json::exception);
}

}  // namespace
}  // namespace halvex
