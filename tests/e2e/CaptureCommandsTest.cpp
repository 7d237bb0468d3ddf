#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <deque>
#include <filesystem>
#include <functional>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/support/HelperLauncher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/XvfbServer.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::launchHelper;

double epochNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The helper recording the animated demo window under a private Xvfb, spoken to over its standard
// streams. Events are collected as they pass; requests wait for their own response.
class CaptureCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb.running());
        demo = std::make_unique<ChildProcess>(ChildProcess::Options{
            {HALVEX_DEMO_WINDOW_PATH, "--width", "320", "--height", "240", "--fps", "30"},
            {{"DISPLAY", xvfb.display()}}});
        const auto id = demo->readStdoutLine(10s);
        ASSERT_TRUE(id) << "the demo window did not start";
        windowId = *id;
        helper = launchHelper({}, {{"DISPLAY", xvfb.display()}});
    }
    void TearDown() override {
        if (!helper) return;
        helper->closeStdin();
        EXPECT_EQ(helper->wait(20s), 0) << helper->stderrSoFar();
    }

    // Reads one line into the event log or returns it when it is a response.
    std::optional<nlohmann::json> readLine(std::chrono::milliseconds timeout) {
        const auto line = helper->readStdoutLine(timeout);
        if (!line) return std::nullopt;
        auto message = nlohmann::json::parse(*line);
        if (message["type"] == "event") {
            events.push_back(message);
            return nlohmann::json();
        }
        return message;
    }
    nlohmann::json request(const std::string& command, const nlohmann::json& payload = nlohmann::json::object()) {
        const std::string id = std::to_string(++requests);
        helper->writeStdin(nlohmann::json{{"id", id}, {"command", command}, {"payload", payload}}.dump() + "\n");
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto message = readLine(1s);
            if (message && !message->is_null() && (*message)["id"] == id) return *message;
        }
        ADD_FAILURE() << "no response to " << command;
        return {};
    }
    // The first event called `name` (and satisfying `accept`) not yet consumed; null on timeout.
    nlohmann::json waitForEvent(const std::string& name, std::chrono::milliseconds timeout,
                                const std::function<bool(const nlohmann::json&)>& accept = {}) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            for (auto event = events.begin(); event != events.end(); ++event) {
                if ((*event)["event"] == name && (!accept || accept((*event)["result"]))) {
                    auto result = (*event)["result"];
                    events.erase(events.begin(), event + 1);
                    return result;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline) return {};
            readLine(200ms);
        }
    }
    nlohmann::json startCapture(double bufferSeconds) {
        return request("startCapture", {{"sourceType", "window"},
                                        {"sourceId", "window:" + windowId},
                                        {"outputDirectory", (output.path() / "rec").string()},
                                        {"bufferSeconds", bufferSeconds},
                                        {"segmentSeconds", 1},
                                        {"fps", 30}});
    }

    // The duration in seconds (and the frame count) that ffprobe reads from the init segment followed by the media segments.
    static double decodedDuration(const nlohmann::json& manifest, const fs::path& scratch, int& frames) {
        std::string bytes = testing::readWholeFile(manifest["segments"][0]["initializationPath"]);
        for (const auto& segment : manifest["segments"]) bytes += testing::readWholeFile(segment["path"]);
        testing::writeWholeFile(scratch.string(), bytes);
        ChildProcess probe(ChildProcess::Options{{"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                             "format=start_time,duration:stream=nb_read_frames", "-of", "json", scratch.string()}});
        const auto text = probe.readAllStdout(20s);
        EXPECT_EQ(probe.wait(5s), 0) << probe.stderrSoFar();
        const auto report = nlohmann::json::parse(text, nullptr, false);
        if (report.is_discarded() || !report.contains("format")) return -1;
        // The clip's timeline starts where its first segment does, so the span is end minus start.
        const double start = std::stod(report["format"]["start_time"].get<std::string>());
        const double end = std::stod(report["format"]["duration"].get<std::string>());
        frames = std::stoi(report["streams"][0]["nb_read_frames"].get<std::string>());
        return end - start;
    }

    testing::XvfbServer xvfb{640, 480};
    testing::TemporaryDirectory output;
    std::unique_ptr<ChildProcess> demo;
    std::unique_ptr<ChildProcess> helper;
    std::string windowId;
    std::deque<nlohmann::json> events;
    int requests = 0;
};

TEST_F(CaptureCommands, RecordsRollingSegmentsAndKeepsTheClipOfATrade) {
    const auto started = startCapture(3);
    ASSERT_EQ(started["ok"], true) << started.dump();
    EXPECT_EQ(started["result"]["phase"], "buffering");
    EXPECT_EQ(started["result"]["segmentSeconds"], 1);

    const auto preview = waitForEvent("capture-preview", 10s);
    ASSERT_FALSE(preview.is_null());
    EXPECT_EQ(preview["frameIndex"], 1);
    EXPECT_EQ(preview["width"], 320);
    EXPECT_EQ(preview["sourceId"], "window:" + windowId);
    const auto firstSegment = waitForEvent("segment-finalized", 15s);
    ASSERT_FALSE(firstSegment.is_null());
    EXPECT_EQ(firstSegment["id"], "001-000001");
    EXPECT_TRUE(fs::exists(firstSegment["path"].get<std::string>()));
    const auto status = waitForEvent("capture-status", 5s, [](const nlohmann::json& s) { return s.value("segmentCount", 0) >= 1; });
    ASSERT_FALSE(status.is_null());
    EXPECT_GT(status["framesCaptured"], 10);
    EXPECT_GT(status["measuredFps"], 10.0);
    ASSERT_FALSE(waitForEvent("segment-finalized", 10s).is_null());
    ASSERT_FALSE(waitForEvent("segment-finalized", 10s).is_null());

    const double markedAt = epochNow();
    const auto marked = request("markTrade", {{"sessionId", "trade/1"}, {"occurredAt", markedAt}, {"preRollSeconds", 1.0}});
    ASSERT_EQ(marked["ok"], true) << marked.dump();
    EXPECT_EQ(marked["result"]["status"]["activeTradeId"], "trade/1");
    EXPECT_FALSE(waitForEvent("trade-marked", 5s).is_null());
    std::this_thread::sleep_for(1500ms);
    const auto ended = request("endTrade", {{"sessionId", "trade/1"}, {"occurredAt", epochNow()}, {"postRollSeconds", 1}});
    ASSERT_EQ(ended["ok"], true) << ended.dump();

    const auto manifest = waitForEvent("trade-completed", 15s);
    ASSERT_FALSE(manifest.is_null());
    EXPECT_EQ(manifest["status"], "ready");
    EXPECT_EQ(manifest["manifestPath"], (output.path() / "rec" / "manifests" / "trade-1.json").string());
    EXPECT_EQ(nlohmann::json::parse(testing::readWholeFile(manifest["manifestPath"]))["status"], "ready");
    EXPECT_FALSE(manifest["hasGaps"]);
    const auto& segments = manifest["segments"];
    ASSERT_GE(segments.size(), 3u);
    double total = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        EXPECT_TRUE(fs::exists(segments[i]["path"].get<std::string>())) << segments[i].dump();
        if (i > 0) {
            EXPECT_NEAR(segments[i]["startedAt"], segments[i - 1]["endedAt"], 1e-6);
        }
        total += segments[i]["durationSeconds"].get<double>();
    }
    EXPECT_LE(segments[0]["startedAt"], markedAt - 1.0);
    EXPECT_GE(segments.back()["endedAt"], manifest["retainThrough"]);
    int frames = 0;
    EXPECT_NEAR(decodedDuration(manifest, output.path() / "clip.mp4", frames), total, 0.1);
    EXPECT_GT(frames, total * 15);  // 30 fps requested; a busy machine may skip some

    // Later segments push the unpinned early ones out of the 3 s buffer; the trade's stay.
    for (int i = 0; i < 5; ++i) ASSERT_FALSE(waitForEvent("segment-finalized", 10s).is_null());
    EXPECT_FALSE(fs::exists(firstSegment["path"].get<std::string>()));
    for (const auto& segment : segments) EXPECT_TRUE(fs::exists(segment["path"].get<std::string>()));
    EXPECT_TRUE(fs::exists(segments[0]["initializationPath"].get<std::string>()));

    // Stopping with an open trade completes it at the end of the recorded media.
    ASSERT_EQ(request("markTrade", {{"sessionId", "open"}, {"occurredAt", epochNow()}, {"preRollSeconds", 0}})["ok"], true);
    const auto stopped = request("stopCapture");
    ASSERT_EQ(stopped["ok"], true);
    EXPECT_EQ(stopped["result"]["phase"], "idle");
    const auto closed = waitForEvent("trade-completed", 1s, [](const nlohmann::json& m) { return m.value("sessionId", "") == "open"; });
    ASSERT_FALSE(closed.is_null());
    EXPECT_EQ(closed["exitOccurredAt"], closed["retainThrough"]);
    EXPECT_EQ(request("stopCapture")["result"]["phase"], "idle");
    EXPECT_EQ(request("stopCapture")["result"]["framesCaptured"], 0);
}

TEST_F(CaptureCommands, AVanishedWindowIsReportedAndEndOfInputStopsTheCapture) {
    ASSERT_EQ(startCapture(10)["ok"], true);
    ASSERT_FALSE(waitForEvent("capture-preview", 10s).is_null());

    demo->kill(SIGTERM);
    ASSERT_TRUE(demo->wait(5s));
    const auto failure = waitForEvent("capture-error", 10s);
    ASSERT_FALSE(failure.is_null());
    EXPECT_FALSE(failure["message"].get<std::string>().empty());
    const auto errorStatus = waitForEvent("capture-status", 2s, [](const nlohmann::json& s) { return s.value("phase", "") == "error"; });
    ASSERT_FALSE(errorStatus.is_null());
    EXPECT_EQ(errorStatus["restartCount"], 0);
    // One restart attempt after the pause; the window is gone, so it fails and says so.
    const auto restart = waitForEvent("capture-error", 10s, [](const nlohmann::json& e) {
        return e.value("message", "").starts_with("Could not restart");
    });
    ASSERT_FALSE(restart.is_null());
    EXPECT_TRUE(restart["message"].get<std::string>().starts_with("Could not restart the capture stream: "))
        << restart.dump();
    EXPECT_EQ(request("ping")["ok"], true);

    helper->closeStdin();
    const auto rest = helper->readAllStdout(20s);
    EXPECT_NE(rest.find(R"("phase":"idle")"), std::string::npos) << rest;
    EXPECT_EQ(helper->wait(20s), 0);
    EXPECT_NE(helper->stderrSoFar().find("Standard input closed; stopping capture."), std::string::npos);
    helper.reset();
}

}  // namespace
}  // namespace halvex
