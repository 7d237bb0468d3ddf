#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "client/session/HelperSession.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex::client {
namespace {

using namespace std::chrono_literals;

// Run again as a stand-in helper in socket mode (HALVEX_TEST_HELLO_TOKEN set), this test binary
// connects to the --socket it is given and greets with that token instead of its --token.
const bool actsAsSocketHelper = [] {
    const char* token = std::getenv("HALVEX_TEST_HELLO_TOKEN");
    if (!token) return false;
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(file, argument, '\0');) arguments.push_back(argument);
    std::string path;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--socket") path = arguments[i + 1];
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(2);
    const std::string hello = std::string(R"({"event":"hello","result":{"token":")") + token + R"("},"type":"event"})" + "\n";
    [[maybe_unused]] auto written = ::write(fd, hello.data(), hello.size());
    char byte;
    [[maybe_unused]] auto got = ::read(fd, &byte, 1);  // until the client hangs up
    ::_exit(0);
}();

// A stand-in helper: for each request line it writes what the script says, then the answer.
constexpr const char* scriptedHelper = R"(#!/bin/sh
n=0
while IFS= read -r line; do
  n=$((n+1))
  case "$line" in
    *'"command":"ping"'*)
      echo '{"event":"capture-status","result":{"phase":"buffering"},"type":"event"}'
      echo 'this is no envelope'
      echo '{"id":"somebody-else","ok":true,"result":1,"type":"response"}'
      echo "{\"id\":\"ctl-$n\",\"ok\":true,\"result\":{\"version\":\"0.3.0\"},\"type\":\"response\"}" ;;
    *'"command":"markTrade"'*)
      case "$line" in
        *'"payload":{"sessionId":"T1"}'*) error="No capture session is running." ;;
        *) error="unexpected payload" ;;
      esac
      echo "{\"error\":\"$error\",\"id\":\"ctl-$n\",\"ok\":false,\"type\":\"response\"}" ;;
    *'"command":"quit"'*) exit 0 ;;
  esac
done
)";

class HelperSessionConversation : public ::testing::Test {
protected:
    void SetUp() override {
        const auto path = directory.file("fake-helper");
        testing::writeWholeFile(path, scriptedHelper);
        ::chmod(path.c_str(), 0755);
        session = std::make_unique<HelperSession>(HelperProcess::launch(children, {.executable = path}));
        session->onUndecodableLine = [this](const std::string& line, const std::string&) { undecodable.push_back(line); };
    }

    testing::TemporaryDirectory directory;
    ChildProcessGroup children;
    std::unique_ptr<HelperSession> session;
    std::vector<std::string> undecodable;
};

TEST_F(HelperSessionConversation, MatchesResponsesByIdAndQueuesTheEventsInBetween) {
    EXPECT_EQ(session->request("ping", {}, 10s), (nlohmann::json{{"version", "0.3.0"}}));
    EXPECT_EQ(undecodable, std::vector<std::string>{"this is no envelope"});
    const auto event = session->nextEvent(0ms);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->event, "capture-status");
    EXPECT_EQ(event->result["phase"], "buffering");
    EXPECT_FALSE(session->nextEvent(100ms));
}

TEST_F(HelperSessionConversation, AnErrorResponseThrowsTheHelpersTextAndTheEndOfItsOutputIsReported) {
    Payload payload;
    payload.values["sessionId"] = "T1";
    try {
        session->request("markTrade", payload, 10s);
        FAIL() << "no error";
    } catch (const HelperCommandError& error) {
        EXPECT_STREQ(error.what(), "No capture session is running.");
    }
    EXPECT_THROW(session->request("quit", {}, 10s), HelperGoneError);
    EXPECT_TRUE(children.waitFor(session->process().pid(), 10));
}

TEST(HelperSocketLaunch, AHelloWithoutOurTokenIsTurnedAway) {
    ChildProcessGroup children;
    HelperLaunchOptions options;
    options.executable = "/proc/self/exe";
    options.overSocket = true;
    options.environment = {{"HALVEX_TEST_HELLO_TOKEN", "guessed"}};
    options.connectTimeoutSeconds = 10;
    try {
        HelperProcess::launch(children, options);
        FAIL() << "a stranger's hello was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("did not present our token"), std::string::npos) << error.what();
    }
    children.endAll(1);
    EXPECT_TRUE(children.runningPids().empty());
}

TEST(HelperMessageDecoding, ReadsEveryEnvelopeAndRefusesOtherLines) {
    const auto success = HelperMessage::decode(R"({"id":"1","ok":true,"result":{"a":1},"type":"response"})");
    EXPECT_EQ(success.kind, HelperMessage::Kind::response);
    EXPECT_TRUE(success.ok);
    EXPECT_EQ(success.result, (nlohmann::json{{"a", 1}}));
    const auto failure = HelperMessage::decode(R"({"error":"Invalid payload: x","id":"2","ok":false,"type":"response"})");
    EXPECT_FALSE(failure.ok);
    EXPECT_EQ(failure.error, "Invalid payload: x");
    const auto event = HelperMessage::decode(R"({"event":"trade-completed","result":{},"type":"event"})");
    EXPECT_EQ(event.kind, HelperMessage::Kind::event);
    EXPECT_EQ(event.event, "trade-completed");
    for (const char* line : {"", "[1]", R"({"id":"1","ok":true})", R"({"type":"response","ok":"yes","id":"1"})",
                             R"({"type":"event"})", R"({"type":"other"})"}) {
        EXPECT_THROW(HelperMessage::decode(line), std::invalid_argument) << line;
    }
}

}  // namespace
}  // namespace halvex::client
