#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <limits>

#include "helper/entry/ArgumentValue.h"
#include "helper/entry/HelperController.h"
#include "helper/entry/ProtocolOutput.h"

namespace halvex {
namespace {

// A controller writing into a pipe, with a display probe that reports no X server.
class ControllerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::pipe2(channel_, O_NONBLOCK), 0);
        HelperEnvironment environment{
            std::make_shared<NativePermissions>(std::make_shared<FakeScreenAccessProbe>(DisplayAccess{true, false})),
            "/usr/bin/HalvexMacHelper"};
        controller_ = HelperController::create(ProtocolOutput::create(channel_[1]), environment);
    }
    void TearDown() override {
        ::close(channel_[0]);
        ::close(channel_[1]);
    }

    // Everything written in answer to `line`.
    std::string answer(const std::string& line, bool* endsLoop = nullptr) {
        const bool ends = controller_->handle(line);
        if (endsLoop) *endsLoop = ends;
        std::string written;
        char chunk[65536];
        ssize_t count = 0;
        while ((count = ::read(channel_[0], chunk, sizeof chunk)) > 0) written.append(chunk, static_cast<std::size_t>(count));
        return written;
    }

    int channel_[2] = {-1, -1};
    std::shared_ptr<HelperController> controller_;
};

TEST_F(ControllerFixture, AnswersEachLineAsTheProtocolSays) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"id":"1","command":"ping"})", R"({"id":"1","ok":true,"result":{"protocolVersion":2,"version":"0.3.0"},"type":"response"})"},
        {R"({"id":"1","command":"ping","payload":null})", R"({"id":"1","ok":true,"result":{"protocolVersion":2,"version":"0.3.0"},"type":"response"})"},
        {R"({"id":"2","command":"PING"})", R"({"error":"Invalid payload: Unknown command 'PING'.","id":"2","ok":false,"type":"response"})"},
        {R"({"id":"3","command":"markTrade"})", R"({"error":"No capture session is running.","id":"3","ok":false,"type":"response"})"},
        {R"({"id":"3","command":"markTrade","payload":{"sessionId":""}})", R"({"error":"No capture session is running.","id":"3","ok":false,"type":"response"})"},
        {R"({"id":"4","command":"permissions"})", R"({"id":"4","ok":true,"result":{"accessibility":true,"screen":false},"type":"response"})"},
        {R"({"id":"5","command":"requestScreenPermission"})", R"({"id":"5","ok":true,"result":{"requiresRestart":false,"screen":false},"type":"response"})"},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(answer(line), expected + "\n") << line;
}

TEST_F(ControllerFixture, EveryCaptureNeedingCommandIsRefusedBeforeItsPayloadIsRead) {
    for (const char* command : {"diagnosticFrame", "setPreviewEnabled", "markTrade", "endTrade", "releaseTrade",
                                "startChartWatcher", "watcherStability"}) {
        const auto line = std::string(R"({"id":"c","command":")") + command + R"(","payload":{"x":1e300}})";
        EXPECT_EQ(answer(line), R"({"error":"No capture session is running.","id":"c","ok":false,"type":"response"})"
                                "\n")
            << command;
    }
}

TEST_F(ControllerFixture, MalformedLinesGetAnErrorWithTheirIdOrAProtocolError) {
    EXPECT_TRUE(answer(R"({"id":"9","command":3})").starts_with(R"({"error":"Malformed request: )"));
    EXPECT_TRUE(answer(R"({"id":"9","command":3})").ends_with(R"(","id":"9","ok":false,"type":"response"})" "\n"));
    for (const char* line : {R"({"command":"ping"})", R"({"id":5,"command":"ping"})", "", "not json"}) {
        const auto written = answer(line);
        EXPECT_TRUE(written.starts_with(R"({"event":"protocol-error","result":{"message":"Malformed request: )")) << written;
        EXPECT_TRUE(written.ends_with("\"},\"type\":\"event\"}\n")) << written;
    }
}

TEST_F(ControllerFixture, IdentityDescribesThisProcess) {
    const auto identity = nlohmann::json::parse(answer(R"({"id":"i","command":"identity"})"));
    const auto& result = identity.at("result");
    EXPECT_EQ(result.at("processId"), ::getpid());
    EXPECT_EQ(result.at("bundleId"), "");
    EXPECT_FALSE(result.at("executablePath").get<std::string>().empty());
    EXPECT_EQ(result.at("screenPermission"), false);
    EXPECT_EQ(result.at("accessibilityPermission"), true);
    EXPECT_FALSE(result.contains("responsibleProcessId"));
}

TEST_F(ControllerFixture, StopCaptureAndShutdownWithoutCaptureAnswerTheIdleStatus) {
    bool ends = true;
    const auto stopped = nlohmann::json::parse(answer(R"({"id":"s","command":"stopCapture"})", &ends));
    EXPECT_FALSE(ends);
    EXPECT_EQ(stopped.at("result").at("phase"), "idle");
    EXPECT_EQ(answer(R"({"id":"s","command":"stopCapture"})"), answer(R"({"id":"s","command":"stopCapture"})"));
    const auto shutdown = nlohmann::json::parse(answer(R"({"id":"d","command":"shutdown"})", &ends));
    EXPECT_TRUE(ends);
    EXPECT_EQ(shutdown.at("result"), stopped.at("result"));
}

TEST_F(ControllerFixture, ACommandsFailureLeavesTheLoopRunning) {
    bool ends = true;
    answer(R"({"id":"1","command":"nope"})", &ends);
    EXPECT_FALSE(ends);
    EXPECT_EQ(answer(R"({"id":"2","command":"ping"})", &ends),
              R"({"id":"2","ok":true,"result":{"protocolVersion":2,"version":"0.3.0"},"type":"response"})" "\n");
    EXPECT_FALSE(ends);
}

TEST(ArgumentValue, FirstOccurrenceDecides) {
    using Arguments = std::vector<std::string>;
    EXPECT_EQ(argumentValue("--socket", Arguments{"h", "--socket", "/s", "--socket", "/t"}), "/s");
    EXPECT_EQ(argumentValue("--socket", Arguments{"h", "--socket"}), std::nullopt);
    EXPECT_EQ(argumentValue("--socket", Arguments{"h", "--socket", "--socket", "/t"}), "--socket");
    EXPECT_EQ(argumentValue("--token", Arguments{"h"}), std::nullopt);
}

}  // namespace
}  // namespace halvex
