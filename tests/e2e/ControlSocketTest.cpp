#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/HelperLauncher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/UnixSocketListener.h"

namespace halvex {
namespace {

using namespace std::chrono_literals;
using testing::launchHelper;

const std::string pingAnswer = R"({"id":"1","ok":true,"result":{"protocolVersion":2,"version":"0.3.0"},"type":"response"})";

TEST(ControlSocket, HelloFirstThenLinesAsTheyArriveAndExitWhenTheClientCloses) {
    testing::TemporaryDirectory directory;
    const auto socketPath = directory.file("control.sock");
    const auto logPath = directory.file("helper.log");
    testing::UnixSocketListener listener(socketPath);
    auto helper = launchHelper({"--socket", socketPath, "--token", "secret/42", "--log-file", logPath});
    ASSERT_TRUE(listener.accept(10s));

    const auto hello = listener.readLine(10s);
    ASSERT_TRUE(hello);
    const auto parsed = nlohmann::json::parse(*hello);
    std::vector<std::string> keys;
    for (const auto& [key, value] : parsed.at("result").items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"bundleId", "bundlePath", "launchMode", "processId", "protocolVersion",
                                              "screenPermission", "token", "version"}));
    EXPECT_TRUE(hello->starts_with(R"({"event":"hello","result":{"bundleId":"","bundlePath":")"));
    EXPECT_TRUE(hello->ends_with(R"(,"screenPermission":false,"token":"secret/42","version":"0.3.0"},"type":"event"})"));
    EXPECT_EQ(parsed["result"]["processId"], helper->pid());

    // Blank lines are skipped silently; split and joined writes are whole lines.
    listener.send("   \n\n\t\n{\"id\":\"1\",");
    std::this_thread::sleep_for(50ms);
    listener.send("\"command\":\"ping\"}\n{\"id\":\"2\",\"command\":\"releaseTrade\"}\n");
    EXPECT_EQ(listener.readLine(10s), pingAnswer);
    EXPECT_EQ(listener.readLine(10s), R"({"error":"No capture session is running.","id":"2","ok":false,"type":"response"})");
    EXPECT_EQ(listener.readLine(300ms), std::nullopt);

    listener.closeConnection();
    EXPECT_EQ(helper->wait(10s), 0);
    const auto log = testing::readWholeFile(logPath);
    EXPECT_NE(log.find("] [HalvexMacHelper] Halvex closed the control socket; stopping capture.\n"), std::string::npos);
    EXPECT_NE(helper->stderrSoFar().find("Halvex closed the control socket; stopping capture."), std::string::npos);
}

TEST(ControlSocket, KeepsRetryingUntilTheClientListens) {
    testing::TemporaryDirectory directory;
    const auto socketPath = directory.file("late.sock");
    auto helper = launchHelper({"--socket", socketPath});
    std::this_thread::sleep_for(3s);
    testing::UnixSocketListener listener(socketPath);
    ASSERT_TRUE(listener.accept(5s));
    EXPECT_TRUE(listener.readLine(5s).value_or("").starts_with(R"({"event":"hello")"));
    listener.closeConnection();
    EXPECT_EQ(helper->wait(10s), 0);
}

TEST(ControlSocket, GivesUpAfterTenSecondsWithStatusTwo) {
    testing::TemporaryDirectory directory;
    const auto socketPath = directory.file("nobody.sock");
    const auto started = std::chrono::steady_clock::now();
    auto helper = launchHelper({"--socket", socketPath});
    EXPECT_EQ(helper->wait(20s), 2);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 9500ms);
    EXPECT_NE(helper->stderrSoFar().find("] [HalvexMacHelper] Could not connect to " + socketPath + ": Invalid payload: Could not connect to " + socketPath + ": "),
              std::string::npos)
        << helper->stderrSoFar();
}

TEST(ControlSocket, PathsLongerThan103BytesAreRefusedAtOnce) {
    testing::TemporaryDirectory directory;
    const auto prefix = directory.path().string() + "/";
    const auto exactly = [&](std::size_t bytes) { return prefix + std::string(bytes - prefix.size(), 's'); };
    {
        const auto path = exactly(104);
        auto helper = launchHelper({"--socket", path});
        EXPECT_EQ(helper->wait(5s), 2);
        EXPECT_NE(helper->stderrSoFar().find("Could not connect to " + path + ": Invalid payload: The socket path is too long."),
                  std::string::npos);
    }
    const auto path = exactly(103);
    testing::UnixSocketListener listener(path);
    auto helper = launchHelper({"--socket", path});
    ASSERT_TRUE(listener.accept(10s));
    EXPECT_TRUE(listener.readLine(5s).value_or("").starts_with(R"({"event":"hello")"));
    listener.closeConnection();
    EXPECT_EQ(helper->wait(10s), 0);
}

}  // namespace
}  // namespace halvex
