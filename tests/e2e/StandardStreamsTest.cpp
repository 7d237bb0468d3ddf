#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/HelperLauncher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/XvfbServer.h"

namespace halvex {
namespace {

using namespace std::chrono_literals;
using testing::launchHelper;

const std::string pingAnswer = R"({"id":"1","ok":true,"result":{"protocolVersion":2,"version":"0.3.0"},"type":"response"})";

TEST(StandardStreams, AnswersEachLineInOrderAndStopsAtEndOfInput) {
    auto helper = launchHelper({});
    helper->writeStdin("{\"id\":\"1\",\"command\":\"ping\"}\n"
                       "\n"
                       "{\"id\":\"2\",\"command\":\"Ping\"}\n"
                       "{\"id\":\"3\",\"command\":\"endTrade\",\"payload\":{}}\r\n"
                       "{\"id\":\"1\",\"command\":\"ping\"}");
    helper->closeStdin();
    std::vector<std::string> lines;
    while (const auto line = helper->readStdoutLine(10s)) lines.push_back(*line);
    EXPECT_EQ(helper->wait(10s), 0);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], pingAnswer);
    // An empty line on standard input is not skipped: it is a malformed request.
    EXPECT_TRUE(lines[1].starts_with(R"({"event":"protocol-error","result":{"message":"Malformed request: )")) << lines[1];
    EXPECT_EQ(lines[2], R"({"error":"Invalid payload: Unknown command 'Ping'.","id":"2","ok":false,"type":"response"})");
    EXPECT_EQ(lines[3], R"({"error":"No capture session is running.","id":"3","ok":false,"type":"response"})");
    EXPECT_EQ(lines[4], pingAnswer);
    EXPECT_NE(helper->stderrSoFar().find("] [HalvexMacHelper] Standard input closed; stopping capture.\n"),
              std::string::npos);
}

TEST(StandardStreams, ShutdownAnswersThenEndsWithoutReadingFurther) {
    auto helper = launchHelper({});
    helper->writeStdin("{\"id\":\"1\",\"command\":\"shutdown\"}\n{\"id\":\"2\",\"command\":\"ping\"}\n");
    const auto answer = helper->readStdoutLine(10s);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->starts_with(R"({"id":"1","ok":true,"result":{)")) << *answer;
    EXPECT_NE(answer->find(R"("phase":"idle")"), std::string::npos);
    EXPECT_EQ(helper->wait(10s), 0);
    EXPECT_EQ(helper->readStdoutLine(1s), std::nullopt);
    // Shutdown is not the end of input: nothing about closed input is logged.
    EXPECT_EQ(helper->stderrSoFar().find("Standard input closed"), std::string::npos);
}

TEST(StandardStreams, OptionsWithoutAUsableSocketStillServeStandardStreams) {
    const std::vector<std::vector<std::string>> commandLines{{}, {"--socket"}, {"--token", "abc"}, {"--log-file", "/tmp/x"}};
    for (const auto& arguments : commandLines) {
        auto helper = launchHelper(arguments);
        helper->writeStdin("{\"id\":\"1\",\"command\":\"ping\"}\n");
        EXPECT_EQ(helper->readStdoutLine(10s), pingAnswer);
        helper->closeStdin();
        EXPECT_EQ(helper->wait(10s), 0);
    }
}

TEST(StandardStreams, AnOutputWhoseReaderIsGoneFailsQuietly) {
    auto helper = launchHelper({});
    helper->closeStdout();
    for (int i = 0; i < 20; ++i) helper->writeStdin("{\"id\":\"1\",\"command\":\"ping\"}\n");
    helper->closeStdin();
    // No SIGPIPE death: the helper reaches its end-of-input stop and exits normally.
    EXPECT_EQ(helper->wait(10s), 0);
    EXPECT_NE(helper->stderrSoFar().find("Standard input closed; stopping capture."), std::string::npos);
}

TEST(StandardStreams, PermissionsFollowTheXDisplay) {
    {
        auto helper = launchHelper({});
        helper->writeStdin("{\"id\":\"p\",\"command\":\"permissions\"}\n");
        EXPECT_EQ(helper->readStdoutLine(10s),
                  R"({"id":"p","ok":true,"result":{"accessibility":false,"screen":false},"type":"response"})");
    }
    testing::XvfbServer xvfb(640, 480);
    ASSERT_TRUE(xvfb.running());
    auto helper = launchHelper({}, {{"DISPLAY", xvfb.display()}});
    helper->writeStdin("{\"id\":\"p\",\"command\":\"permissions\"}\n{\"id\":\"i\",\"command\":\"identity\"}\n");
    EXPECT_EQ(helper->readStdoutLine(10s),
              R"({"id":"p","ok":true,"result":{"accessibility":true,"screen":true},"type":"response"})");
    const auto identity = nlohmann::json::parse(helper->readStdoutLine(10s).value_or("{}"));
    EXPECT_EQ(identity["result"]["executablePath"], testing::helperExecutablePath());
    EXPECT_EQ(identity["result"]["screenPermission"], true);
    EXPECT_EQ(identity["result"]["processId"], helper->pid());
    helper->closeStdin();
    EXPECT_EQ(helper->wait(10s), 0);
}

}  // namespace
}  // namespace halvex
