#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "core/capture/TradeManifest.h"
#include "core/chart/tradingview/tesseract/ChartlabAccuracy.h"
#include "core/support/JSONEncoding.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/XvfbServer.h"

namespace halvex {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;

// halvexctl with `arguments`; the helper is the one this build made. DISPLAY is left out unless given.
std::unique_ptr<ChildProcess> launchClient(const std::vector<std::string>& arguments,
                                           std::map<std::string, std::string> environment = {}) {
    ChildProcess::Options options;
    options.arguments = {HALVEX_CTL_PATH};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    environment["HALVEX_HELPER"] = HALVEX_HELPER_PATH;
    environment["HALVEX_DEMO_WINDOW"] = HALVEX_DEMO_WINDOW_PATH;
    options.environment = environment;
    if (!environment.count("DISPLAY")) options.unsetEnvironment.push_back("DISPLAY");
    return std::make_unique<ChildProcess>(options);
}

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream status(entry.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0) {
                if (std::stoi(line.substr(5)) == parent) pids.push_back(std::stoi(name));
                break;
            }
        }
    }
    return pids;
}

bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Reads the client's output until a line contains `text`; the lines read so far.
std::string readUntil(ChildProcess& client, const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string seen;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto line = client.readStdoutLine(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()));
        if (!line) break;
        seen += *line + "\n";
        if (line->find(text) != std::string::npos) break;
    }
    return seen;
}

// ffprobe's view of a file: codec of the first stream and the container's duration.
nlohmann::json probe(const std::string& path) {
    ChildProcess ffprobe({.arguments = {"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                        "stream=codec_name,nb_read_frames:format=duration", "-of", "json", path}});
    const auto text = ffprobe.readAllStdout(60s);
    EXPECT_EQ(ffprobe.wait(60s), 0) << ffprobe.stderrSoFar();
    return nlohmann::json::parse(text, nullptr, false);
}

// Every frame decodes: ffmpeg -f null, bounded.
void expectDecodes(const std::string& path) {
    ChildProcess ffmpeg({.arguments = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"}});
    EXPECT_EQ(ffmpeg.wait(60s), 0) << "ffmpeg could not decode " << path << ": " << ffmpeg.stderrSoFar();
    EXPECT_EQ(ffmpeg.stderrSoFar(), "") << "decoding reported errors";
}

void expectPlayableClip(const std::string& clip, double windowSeconds, double segmentSeconds) {
    const auto info = probe(clip);
    ASSERT_TRUE(info.is_object()) << clip;
    ASSERT_EQ(info["streams"].size(), 1u);
    EXPECT_EQ(info["streams"][0]["codec_name"], "h264");
    EXPECT_GT(std::stoi(info["streams"][0]["nb_read_frames"].get<std::string>()), 0);
    const double duration = std::stod(info["format"]["duration"].get<std::string>());
    EXPECT_NEAR(duration, windowSeconds, segmentSeconds) << "window " << windowSeconds << " s";
    expectDecodes(clip);
}

TEST(ClientDemo, TheHeadlessDemoRecordsATradeAndExportsAClipThatPlays) {
    testing::TemporaryDirectory directory;
    auto client = launchClient({"demo", "--out", directory.path().string(), "--trade-seconds", "2", "--json"});
    const auto output = client->readAllStdout(120s);
    ASSERT_EQ(client->wait(30s), 0) << output << client->stderrSoFar();
    const auto summary = nlohmann::json::parse(output, nullptr, false);
    ASSERT_TRUE(summary.is_object()) << output;
    const auto manifest = tradeManifestFromJSON(nlohmann::json::parse(testing::readWholeFile(summary["manifest"])));
    EXPECT_EQ(manifest.status, TradeManifestStatus::ready);
    ASSERT_TRUE(manifest.retainThrough);
    expectPlayableClip(summary["clip"], *manifest.retainThrough - manifest.retainFrom, 1.0);
}

TEST(ClientRecord, KeysMarkAndEndATradeAndCtrlCStopsCleanly) {
    testing::XvfbServer xvfb(1280, 720);
    ASSERT_TRUE(xvfb.running());
    ChildProcess chart({.arguments = {HALVEX_DEMO_WINDOW_PATH, "--width", "640", "--height", "360", "--seconds", "120"},
                        .environment = {{"DISPLAY", xvfb.display()}}});
    const auto windowId = chart.readStdoutLine(10s);
    ASSERT_TRUE(windowId);
    testing::TemporaryDirectory directory;
    auto client = launchClient({"record", "window:" + *windowId, "--out", directory.path().string(), "--segment-seconds",
                                "1", "--buffer-seconds", "20", "--pre-roll", "1", "--post-roll", "1", "--socket"},
                               {{"DISPLAY", xvfb.display()}});
    ASSERT_NE(readUntil(*client, "Recording window:", 20s).find("Recording"), std::string::npos) << client->stderrSoFar();
    std::this_thread::sleep_for(2s);
    client->writeStdin("m\n");
    ASSERT_NE(readUntil(*client, "marked trade", 20s).find("marked trade"), std::string::npos);
    std::this_thread::sleep_for(2s);
    client->writeStdin("e\n");
    const auto ready = readUntil(*client, "is ready", 30s);
    ASSERT_NE(ready.find("is ready"), std::string::npos) << ready << client->stderrSoFar();
    const auto helpers = childrenOf(client->pid());
    ASSERT_EQ(helpers.size(), 1u);

    client->kill(SIGINT);
    const auto rest = client->readAllStdout(30s);
    EXPECT_EQ(client->wait(30s), 0) << client->stderrSoFar();
    EXPECT_NE(rest.find("Manifests are in " + (directory.path() / "manifests").string()), std::string::npos) << rest;
    EXPECT_TRUE(processGone(helpers.front()));

    std::string manifestPath;
    for (const auto& entry : std::filesystem::directory_iterator(directory.path() / "manifests")) manifestPath = entry.path();
    ASSERT_FALSE(manifestPath.empty());
    const auto manifest = tradeManifestFromJSON(nlohmann::json::parse(testing::readWholeFile(manifestPath)));
    const auto clip = directory.file("clip.mp4");
    auto exporter = launchClient({"export", manifestPath, "-o", clip});
    EXPECT_EQ(exporter->wait(60s), 0) << exporter->stderrSoFar();
    expectPlayableClip(clip, *manifest.retainThrough - manifest.retainFrom, 1.0);
}

class ClientExportFailures : public ::testing::Test {
protected:
    // Runs `export` and gives its exit status and standard error.
    std::pair<int, std::string> exportClip(const std::string& manifestPath) {
        auto client = launchClient({"export", manifestPath, "-o", directory.file("clip.mp4")});
        const auto status = client->wait(30s);
        return {status.value_or(-1), client->stderrSoFar()};
    }
    testing::TemporaryDirectory directory;
};

TEST_F(ClientExportFailures, AManifestWithADeletedSegmentNamesTheMissingFile) {
    TradeManifest manifest;
    manifest.sessionId = "T1";
    manifest.status = TradeManifestStatus::ready;
    manifest.retainFrom = 100;
    manifest.retainThrough = 103;
    manifest.manifestPath = directory.file("T1.json");
    for (int i = 1; i <= 3; ++i) {
        SegmentRecord segment;
        segment.id = "001-00000" + std::to_string(i);
        segment.path = directory.file(segment.id + ".m4s");
        segment.initializationPath = directory.file("init-001.mp4");
        segment.startedAt = 99 + i;
        segment.endedAt = 100 + i;
        segment.durationSeconds = 1;
        segment.width = 640;
        segment.height = 360;
        if (i != 2) testing::writeWholeFile(segment.path, "media");
        manifest.segments.push_back(segment);
    }
    testing::writeWholeFile(directory.file("init-001.mp4"), "init");
    testing::writeWholeFile(manifest.manifestPath, halvexEncodePretty(toJSON(manifest)));
    const auto [status, message] = exportClip(manifest.manifestPath);
    EXPECT_NE(status, 0);
    EXPECT_NE(message.find(directory.file("001-000002.m4s")), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(directory.file("clip.mp4")));
}

TEST_F(ClientExportFailures, AFileThatIsNotJSONIsSaidToBeSo) {
    testing::writeWholeFile(directory.file("notes.txt"), "not a manifest\n");
    const auto [status, message] = exportClip(directory.file("notes.txt"));
    EXPECT_NE(status, 0);
    EXPECT_NE(message.find("is not JSON"), std::string::npos) << message;
}

TEST(ClientOcr, PrintsOneJSONObjectPerLineWithTheBoxFromTheBottomLeftAndNamesAMissingFile) {
    const auto picture = tesseract::chartlab::fixturesDirectory() / "scene-002.png";
    if (!std::filesystem::exists(picture)) GTEST_SKIP() << "chartlab fixtures not found";
    auto client = launchClient({"ocr", picture.string(), "--json"});
    std::istringstream output(client->readAllStdout(60s));
    ASSERT_EQ(client->wait(60s), 0) << client->stderrSoFar();
    std::string line;
    bool sawLabel = false;
    while (std::getline(output, line)) {
        const auto object = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(object.is_object()) << line;
        for (const char* key : {"confidence", "x", "y", "width", "height"}) {
            ASSERT_TRUE(object.contains(key) && object[key].is_number()) << line;
            EXPECT_GE(object[key].get<double>(), 0.0) << line;
            EXPECT_LE(object[key].get<double>(), 1.0) << line;
        }
        ASSERT_TRUE(object["text"].is_string()) << line;
        if (object["text"].get<std::string>().find("-€215.20") == std::string::npos) continue;
        sawLabel = true;
        // The label's box ends at row 539 of 1200, counted from the top.
        EXPECT_NEAR(object["y"].get<double>(), 1.0 - 539.0 / 1200.0, 0.01) << line;
    }
    EXPECT_TRUE(sawLabel);

    auto missing = launchClient({"ocr", "/nonexistent/chart.png"});
    EXPECT_EQ(missing->wait(30s), 1);
    EXPECT_NE(missing->stderrSoFar().find("/nonexistent/chart.png"), std::string::npos) << missing->stderrSoFar();
}

// The demo owns Xvfb, the chart window and the helper; a signal or the helper's death must take
// all of them down.
class ClientChildren : public ::testing::TestWithParam<const char*> {};

TEST_P(ClientChildren, NoHelperOrXvfbOutlivesTheClient) {
    const std::string ending = GetParam();
    testing::TemporaryDirectory directory;
    auto client = launchClient({"demo", "--out", directory.path().string(), "--trade-seconds", "60"});
    const auto seen = readUntil(*client, "Marked trade", 60s);
    ASSERT_NE(seen.find("Marked trade"), std::string::npos) << seen << client->stderrSoFar();
    const auto children = childrenOf(client->pid());
    ASSERT_EQ(children.size(), 3u) << seen;  // Xvfb, the demo window, the helper

    if (ending == "helper-killed") {
        pid_t helper = -1;
        for (const pid_t pid : children) {
            std::error_code error;
            const auto executable = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
            if (executable.filename() == "HalvexMacHelper") helper = pid;
        }
        ASSERT_GT(helper, 0);
        ::kill(helper, SIGKILL);
        EXPECT_EQ(client->wait(30s), 1) << client->stderrSoFar();
    } else {
        client->kill(ending == "SIGTERM" ? SIGTERM : SIGINT);
        EXPECT_EQ(client->wait(30s), 128 + (ending == "SIGTERM" ? SIGTERM : SIGINT)) << client->stderrSoFar();
    }
    for (const pid_t pid : children) EXPECT_TRUE(processGone(pid)) << "pid " << pid << " was left behind";
}

INSTANTIATE_TEST_SUITE_P(Endings, ClientChildren, ::testing::Values("SIGINT", "SIGTERM", "helper-killed"),
                         [](const auto& param) {
                             std::string name = param.param;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

}  // namespace
}  // namespace halvex
