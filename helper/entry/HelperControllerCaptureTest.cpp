#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include "core/capture/FakeSegmentEncoder.h"
#include "core/capture/engine/FakeCaptureStream.h"
#include "helper/entry/HelperController.h"
#include "helper/entry/ProtocolOutput.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex {
namespace {

// A fake encoder whose finish completes at once, so stopping never waits on the test.
class SelfFinishingEncoder : public FakeSegmentEncoder {
public:
    using FakeSegmentEncoder::FakeSegmentEncoder;
    void finishWriting(std::function<void()> completion) override {
        FakeSegmentEncoder::finishWriting(std::move(completion));
        completeFinish();
    }
};

// A controller writing into a pipe, recording a fake window through a fake stream.
class CaptureRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::pipe2(channel_, O_NONBLOCK), 0);
        auto platform = std::make_shared<FakeSourcePlatform>();
        ShareableWindow window;
        window.windowId = 5;
        window.title = "Chart";
        window.frame = {0, 0, 64, 36};
        platform->onScreenContent.windows = {window};
        HelperEnvironment environment;
        environment.permissions = std::make_shared<NativePermissions>(std::make_shared<FakeScreenAccessProbe>(DisplayAccess{true, true}));
        environment.sources = std::make_shared<SourceCatalog>(platform);
        environment.captureStreams = streams;
        environment.segmentEncoders = [](const SegmentEncoderSettings& settings) -> std::shared_ptr<SegmentEncoder> {
            return std::make_shared<SelfFinishingEncoder>(settings);
        };
        controller_ = HelperController::create(ProtocolOutput::create(channel_[1]), environment);
    }
    void TearDown() override {
        controller_->stopCaptureAtEndOfInput();
        ::close(channel_[0]);
        ::close(channel_[1]);
    }

    // Every line written in answer to `line` (events included), parsed.
    std::vector<nlohmann::json> answer(const std::string& line) {
        controller_->handle(line);
        std::string written;
        char chunk[65536];
        ssize_t count = 0;
        while ((count = ::read(channel_[0], chunk, sizeof chunk)) > 0) written.append(chunk, static_cast<std::size_t>(count));
        std::vector<nlohmann::json> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = written.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(nlohmann::json::parse(written.substr(start, end - start)));
        }
        return lines;
    }
    // The response among the lines written for `line`.
    nlohmann::json respond(const std::string& line) {
        for (auto& written : answer(line)) {
            if (written["type"] == "response") return written;
        }
        return {};
    }
    std::string start(const std::string& extra = "") {
        return R"({"id":"s","command":"startCapture","payload":{"sourceType":"window","sourceId":"5","outputDirectory":")" +
               directory.path().string() + "\"" + extra + "}}";
    }

    testing::TemporaryDirectory directory;
    std::shared_ptr<FakeCaptureStreamFactory> streams = std::make_shared<FakeCaptureStreamFactory>();
    int channel_[2] = {-1, -1};
    std::shared_ptr<HelperController> controller_;
};

TEST_F(CaptureRoutes, StartCaptureAnswersTheStatusAndRefusesASecondStartBeforeReadingItsPayload) {
    const auto lines = answer(start(R"(,"fps":60.4)"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["event"], "capture-status");  // the start's status event comes first
    EXPECT_EQ(lines[1]["ok"], true) << lines[1].dump();
    EXPECT_EQ(lines[1]["result"]["phase"], "buffering");
    EXPECT_EQ(lines[1]["result"]["fps"], 60);
    EXPECT_EQ(lines[1]["result"]["sourceId"], "window:5");
    EXPECT_EQ(streams->latest()->configuration.fps, 60);

    EXPECT_EQ(respond(R"({"id":"t","command":"startCapture","payload":{"sourceType":"window"}})")["error"],
              "A capture session is already running.");
    EXPECT_EQ(streams->made(), 1u);
}

TEST_F(CaptureRoutes, AFailedStartLeavesNoEngine) {
    EXPECT_EQ(respond(R"({"id":"s","command":"startCapture","payload":{"sourceType":"window","sourceId":"5"}})")["error"],
              "Invalid payload: outputDirectory must be a non-empty string.");
    streams->nextStreamStartError = std::make_exception_ptr(std::runtime_error("The window is gone."));
    EXPECT_EQ(respond(start())["error"], "The window is gone.");
    EXPECT_EQ(respond(R"({"id":"m","command":"markTrade","payload":{}})")["error"], "No capture session is running.");
    EXPECT_EQ(respond(start(R"(,"bufferSeconds":0.5,"fps":0.4)"))["error"],
              "Invalid payload: bufferSeconds must be between 1 and 3600.");
    EXPECT_EQ(respond(R"({"id":"s","command":"startCapture","payload":{"sourceType":"window","sourceId":"6","outputDirectory":"/tmp"}})")["error"],
              "Capture source 6 is no longer available. Refresh the source list and try again.");
    EXPECT_EQ(respond(start())["ok"], true);
}

TEST_F(CaptureRoutes, TradeCommandsCheckTheirRollsAndAnswerStatusAndManifest) {
    respond(start());
    const auto marked = answer(R"({"id":"m","command":"markTrade","payload":{"sessionId":"t1","occurredAt":1700000000,"preRollSeconds":0}})");
    ASSERT_EQ(marked.size(), 3u);
    EXPECT_EQ(marked[0]["event"], "trade-marked");
    EXPECT_EQ(marked[1]["event"], "capture-status");
    EXPECT_EQ(marked[2]["result"]["status"]["phase"], "in-trade");
    EXPECT_EQ(marked[2]["result"]["manifest"]["retainFrom"], 1700000000.0);
    EXPECT_EQ(marked[2]["result"]["manifest"]["status"], "active");

    EXPECT_EQ(respond(R"({"id":"m","command":"markTrade","payload":{"sessionId":"t2","occurredAt":1700000000,"preRollSeconds":-0.001}})")["error"],
              "Invalid payload: preRollSeconds cannot be negative.");
    EXPECT_EQ(respond(R"({"id":"e","command":"endTrade","payload":{"sessionId":"t1","occurredAt":1700000001,"postRollSeconds":-1}})")["error"],
              "Invalid payload: postRollSeconds cannot be negative.");
    EXPECT_EQ(respond(R"({"id":"e","command":"endTrade","payload":{"sessionId":"nope","occurredAt":1700000001}})")["error"],
              "Trade session nope has not been marked.");
    const auto ended = respond(R"({"id":"e","command":"endTrade","payload":{"sessionId":"t1","occurredAt":1700000001}})");
    EXPECT_EQ(ended["result"]["manifest"]["retainThrough"], 1700000031.0);
    EXPECT_EQ(ended["result"]["status"]["phase"], "post-roll");
    EXPECT_EQ(respond(R"({"id":"r","command":"releaseTrade","payload":{"sessionId":"t1"}})")["result"],
              (nlohmann::json{{"released", true}}));
    EXPECT_EQ(respond(R"({"id":"r","command":"releaseTrade","payload":{"sessionId":"t1"}})")["result"],
              (nlohmann::json{{"released", false}}));
}

TEST_F(CaptureRoutes, PreviewsAreOnlySwitchedOffByARealFalseAndFeedTheDiagnosticFrame) {
    respond(start());
    EXPECT_EQ(respond(R"({"id":"d","command":"diagnosticFrame"})")["error"],
              "Invalid payload: No frame has been captured yet. Start capture and wait for the preview to update.");
    EXPECT_EQ(respond(R"({"id":"p","command":"setPreviewEnabled","payload":{"enabled":false}})")["result"],
              (nlohmann::json{{"enabled", false}}));
    streams->latest()->deliverFrame(0);
    EXPECT_EQ(respond(R"({"id":"d","command":"diagnosticFrame"})")["ok"], false);

    EXPECT_EQ(respond(R"({"id":"p","command":"setPreviewEnabled","payload":{"enabled":"false"}})")["result"],
              (nlohmann::json{{"enabled", true}}));
    streams->latest()->deliverFrame(1);
    const auto lines = answer(R"({"id":"d","command":"diagnosticFrame"})");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["event"], "capture-preview");
    EXPECT_EQ(lines[0]["result"]["frameIndex"], 1);
    EXPECT_EQ(lines[1]["result"]["sourceId"], "capture");
    EXPECT_EQ(lines[1]["result"]["jpegBase64"], lines[0]["result"]["jpegBase64"]);
    EXPECT_EQ(respond(R"({"id":"p","command":"setPreviewEnabled"})")["result"], (nlohmann::json{{"enabled", true}}));
}

TEST_F(CaptureRoutes, StopCaptureAnswersTheFinalStatusThenIdle) {
    respond(start());
    streams->latest()->deliverFrame(0);
    const auto stopped = answer(R"({"id":"x","command":"stopCapture"})");
    ASSERT_GE(stopped.size(), 2u);
    EXPECT_EQ(stopped.back()["result"]["phase"], "idle");
    EXPECT_EQ(stopped.back()["result"]["framesCaptured"], 1);
    EXPECT_EQ(stopped[stopped.size() - 2]["event"], "capture-status");
    EXPECT_FALSE(streams->latest()->running);
    EXPECT_EQ(respond(R"({"id":"x","command":"stopCapture"})")["result"], toJSON(CaptureStatus::idle()));
    EXPECT_EQ(respond(R"({"id":"m","command":"diagnosticFrame"})")["error"], "No capture session is running.");

    // End of input stops a running capture the same way.
    respond(start());
    controller_->stopCaptureAtEndOfInput();
    EXPECT_FALSE(streams->latest()->running);
    EXPECT_EQ(respond(R"({"id":"x","command":"shutdown"})")["result"], toJSON(CaptureStatus::idle()));
}

}  // namespace
}  // namespace halvex
