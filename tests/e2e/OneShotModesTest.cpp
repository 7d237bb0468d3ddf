#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/HelperLauncher.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/XvfbServer.h"

namespace halvex {
namespace {

using namespace std::chrono_literals;
using testing::launchHelper;
using testing::readWholeFile;

TEST(IdentityProbe, WritesCompactSortedJSONWithoutConnecting) {
    testing::TemporaryDirectory directory;
    const auto probe = directory.file("probe.json");
    auto helper = launchHelper({"--socket", directory.file("nobody-listens.sock"), "--identity-file", probe});
    EXPECT_EQ(helper->wait(5s), 0);
    const auto bundlePath = std::filesystem::path(testing::helperExecutablePath()).parent_path().string();
    EXPECT_EQ(readWholeFile(probe), R"({"bundleId":"","bundlePath":")" + bundlePath + R"(","processId":)" +
                                        std::to_string(helper->pid()) + R"(,"screenPermission":false})");
}

TEST(IdentityProbe, ARelativePathWritesNothingAndExitsZero) {
    testing::TemporaryDirectory directory;
    auto helper = launchHelper({"--identity-file", "probe.json"});
    EXPECT_EQ(helper->wait(5s), 0);
    EXPECT_FALSE(std::filesystem::exists("probe.json"));
    EXPECT_EQ(helper->stderrSoFar(), "");
}

TEST(ScreenPermissionRequest, WritesOrLogsTheResult) {
    testing::TemporaryDirectory directory;
    std::filesystem::create_directory(directory.path() / "sub");
    {
        auto helper = launchHelper({"--request-screen-permission", "--result-file",
                                    (directory.path() / "sub" / ".." / "result.json").string()});
        EXPECT_EQ(helper->wait(5s), 0);
        EXPECT_EQ(readWholeFile(directory.file("result.json")), R"({"requiresRestart":false,"screen":false})");
        EXPECT_NE(helper->stderrSoFar().find("check that DISPLAY names a running X server"), std::string::npos);
    }
    {
        auto helper = launchHelper({"--request-screen-permission", "--result-file", "relative.json"});
        EXPECT_EQ(helper->wait(5s), 0);
        EXPECT_NE(helper->stderrSoFar().find("] [HalvexMacHelper] --result-file must be an absolute path.\n"),
                  std::string::npos);
    }
    {
        auto helper = launchHelper({"--request-screen-permission"});
        EXPECT_EQ(helper->wait(5s), 0);
        EXPECT_NE(helper->stderrSoFar().find(
                      "Screen permission request finished (granted=false); no --result-file was supplied."),
                  std::string::npos);
    }
    {
        auto helper = launchHelper({"--request-screen-permission", "--result-file", directory.file("missing/r.json")});
        EXPECT_EQ(helper->wait(5s), 0);
        EXPECT_NE(helper->stderrSoFar().find("Could not write screen permission result to " +
                                             directory.file("missing/r.json") + ": "),
                  std::string::npos);
    }
    testing::XvfbServer xvfb(320, 240);
    ASSERT_TRUE(xvfb.running());
    auto helper = launchHelper({"--request-screen-permission", "--result-file", directory.file("granted.json")},
                               {{"DISPLAY", xvfb.display()}});
    EXPECT_EQ(helper->wait(5s), 0);
    EXPECT_EQ(readWholeFile(directory.file("granted.json")), R"({"requiresRestart":false,"screen":true})");
    EXPECT_EQ(helper->stderrSoFar(), "");
}

}  // namespace
}  // namespace halvex
