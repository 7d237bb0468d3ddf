#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "core/capture/CaptureEngineEvent.h"
#include "core/capture/CapturePreviewFrame.h"
#include "core/capture/CaptureRecordMode.h"
#include "core/capture/CaptureStatus.h"
#include "core/capture/StartCaptureConfiguration.h"
#include "core/support/HalvexNativeError.h"

namespace halvex {
namespace {

using nlohmann::json;

TEST(CaptureRecordModeTest, ParsesOnlyTheExactRawValues) {
    EXPECT_EQ(parseCaptureRecordMode("rolling"), CaptureRecordMode::rolling);
    EXPECT_EQ(parseCaptureRecordMode("on-trade"), CaptureRecordMode::onTrade);
    for (const auto mode : {CaptureRecordMode::rolling, CaptureRecordMode::onTrade}) {
        EXPECT_EQ(parseCaptureRecordModeStrict(rawValue(mode)), mode);
    }
    for (const std::string text : {"ROLLING", "Rolling", "ontrade", "on_trade", "on-trade ", ""}) {
        EXPECT_EQ(parseCaptureRecordMode(text), std::nullopt) << text;
        try {
            parseCaptureRecordModeStrict(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const HalvexNativeError& error) {
            EXPECT_EQ(error.kind(), HalvexNativeError::Kind::invalidPayload);
            EXPECT_EQ(std::string(error.what()),
                      "Invalid payload: recordMode must be \"rolling\" or \"on-trade\", not \"" + text + "\".");
        }
    }
}

TEST(StartCaptureConfigurationTest, DefaultsAreTheCommandDefaults) {
    const StartCaptureConfiguration configuration;
    EXPECT_EQ(configuration.bufferSeconds, 180);
    EXPECT_EQ(configuration.segmentSeconds, 10);
    EXPECT_EQ(configuration.fps, 30);
    EXPECT_EQ(configuration.recordMode, CaptureRecordMode::rolling);
    auto onTrade = configuration;
    onTrade.recordMode = CaptureRecordMode::onTrade;
    EXPECT_NE(onTrade, configuration);
}

CaptureStatus fullStatus() {
    CaptureStatus status;
    status.phase = capturephase::inTrade;
    status.sourceId = "window:42";
    status.sourceName = "Chart — TradingView";
    status.startedAt = "2026-12-10T11:00:00.125Z";
    status.outputDirectory = "/data/out";
    status.bufferSeconds = 180;
    status.segmentSeconds = 10;
    status.fps = 30;
    status.segmentCount = 18;
    status.retainedSeconds = 179.5;
    status.activeTradeId = "a";
    status.message = "Capture stream restarted after: gone";
    status.framesCaptured = 5400;
    status.framesDropped = 3;
    status.measuredFps = 29.97;
    status.lastFrameAt = 1765364400.5;
    status.stalled = false;
    status.restartCount = 1;
    return status;
}

TEST(CaptureStatusTest, IdleEncodesZerosAndNoOptionalKeys) {
    EXPECT_EQ(toJSON(CaptureStatus::idle()), json::parse(R"({
        "phase": "idle", "bufferSeconds": 0, "segmentSeconds": 0, "fps": 0, "segmentCount": 0,
        "retainedSeconds": 0, "framesCaptured": 0, "framesDropped": 0, "measuredFps": 0,
        "stalled": false, "restartCount": 0})"));
    EXPECT_EQ(captureStatusFromJSON(toJSON(CaptureStatus::idle())), CaptureStatus::idle());
}

TEST(CaptureStatusTest, AbsentTradeMessageAndFrameAreLeftOut) {
    auto status = fullStatus();
    status.activeTradeId.reset();
    status.message.reset();
    status.lastFrameAt.reset();
    const json encoded = toJSON(status);
    for (const char* key : {"activeTradeId", "message", "lastFrameAt"}) EXPECT_FALSE(encoded.contains(key)) << key;
    EXPECT_TRUE(encoded.contains("sourceId"));
    EXPECT_EQ(captureStatusFromJSON(encoded), status);
}

TEST(CaptureStatusTest, RoundTripsAndRefusesWrongTypes) {
    const auto status = fullStatus();
    const json encoded = toJSON(status);
    EXPECT_EQ(encoded.size(), 18u);
    EXPECT_EQ(encoded.at("fps"), 30);
    EXPECT_TRUE(encoded.at("fps").is_number_integer());
    EXPECT_EQ(captureStatusFromJSON(json::parse(encoded.dump())), status);

    const std::vector<std::pair<const char*, json>> damaged = {
        {"stalled", 0}, {"fps", 29.5}, {"phase", nullptr}, {"message", 7}, {"measuredFps", "29.97"}};
    for (const auto& [key, value] : damaged) {
        json broken = encoded;
        broken[key] = value;
        EXPECT_THROW(captureStatusFromJSON(broken), json::exception) << key;
    }
    json missing = encoded;
    missing.erase("restartCount");
    EXPECT_THROW(captureStatusFromJSON(missing), json::exception);
}

TEST(CapturePreviewFrameTest, RoundTripsAndRequiresEveryKey) {
    const CapturePreviewFrame frame{"window:42", 640, 360, 1765364400.25, 7, "/9j/4AAQ"};
    const json encoded = toJSON(frame);
    EXPECT_EQ(encoded, json::parse(R"({"sourceId":"window:42","width":640,"height":360,
        "capturedAt":1765364400.25,"frameIndex":7,"jpegBase64":"/9j/4AAQ"})"));
    EXPECT_EQ(capturePreviewFrameFromJSON(encoded), frame);
    for (const auto& [key, unused] : encoded.items()) {
        json missing = encoded;
        missing.erase(key);
        EXPECT_THROW(capturePreviewFrameFromJSON(missing), json::exception) << key;
    }
}

TEST(CaptureEngineEventTest, EachCaseHasItsEventNameAndResultBody) {
    SegmentRecord segment;
    segment.id = "001-000001";
    TradeManifest manifest;
    manifest.sessionId = "t";
    const ChartWatcherStatus watcherStatus;
    const ChartPositionEvent position;
    const CapturePreviewFrame frame{"window:1", 2, 2, 1, 1, "AA=="};

    const std::vector<std::tuple<CaptureEngineEvent, std::string, json>> cases = {
        {captureevent::Status{fullStatus()}, "capture-status", toJSON(fullStatus())},
        {captureevent::Preview{frame}, "capture-preview", toJSON(frame)},
        {captureevent::SegmentFinalized{segment}, "segment-finalized", toJSON(segment)},
        {captureevent::TradeMarked{manifest}, "trade-marked", toJSON(manifest)},
        {captureevent::TradeCompleted{manifest}, "trade-completed", toJSON(manifest)},
        {captureevent::ChartWatcherStatusChanged{watcherStatus}, "chart-watcher-status", toJSON(watcherStatus)},
        {captureevent::ChartPosition{position}, "position", toJSON(position)},
        {captureevent::ChartWatcherFailure{"OCR failed"}, "chart-watcher-error", json{{"message", "OCR failed"}}},
        {captureevent::Failure{"No frames for 4.5s from Chart."}, "capture-error",
         json{{"message", "No frames for 4.5s from Chart."}}},
    };
    ASSERT_EQ(cases.size(), std::variant_size_v<CaptureEngineEvent>);
    for (const auto& [event, name, result] : cases) {
        const auto message = captureEventMessage(event);
        EXPECT_EQ(message.event, name);
        EXPECT_EQ(message.result, result) << name;
    }
    // The two manifest cases and the two message cases stay distinct events.
    EXPECT_NE(CaptureEngineEvent(captureevent::TradeMarked{manifest}),
              CaptureEngineEvent(captureevent::TradeCompleted{manifest}));
    EXPECT_NE(CaptureEngineEvent(captureevent::Failure{"x"}), CaptureEngineEvent(captureevent::ChartWatcherFailure{"x"}));
}

}  // namespace
}  // namespace halvex
