#include <gtest/gtest.h>

#include <filesystem>

#include "core/support/HalvexIdentity.h"
#include "core/support/JSONEncoding.h"
#include "core/support/NativePermissions.h"
#include "core/support/ResponsibleProcess.h"

namespace halvex {
namespace {

TEST(NativePermissions, SnapshotFollowsTheDisplayProbe) {
    struct Case {
        DisplayAccess access;
        NativePermissionSnapshot snapshot;
    };
    const Case cases[] = {
        {{false, false}, {false, false}},
        {{true, false}, {false, true}},
        {{true, true}, {true, true}},
    };
    for (const auto& item : cases) {
        NativePermissions permissions(std::make_shared<FakeScreenAccessProbe>(item.access));
        EXPECT_EQ(permissions.snapshot(), item.snapshot);
        EXPECT_EQ(permissions.requestScreenCapture(), (ScreenPermissionRequestResult{item.snapshot.screen, false}));
    }
    EXPECT_EQ(halvexEncodeCompact(toJSON(NativePermissionSnapshot{true, false})), R"({"accessibility":false,"screen":true})");
    EXPECT_EQ(halvexEncodeCompact(toJSON(ScreenPermissionRequestResult{true, false})),
              R"({"requiresRestart":false,"screen":true})");
}

TEST(HalvexIdentity, OwnProcessIdentifiers) {
    EXPECT_TRUE(HalvexIdentity::isOwnProcess(std::string("com.github.Electron")));
    EXPECT_TRUE(HalvexIdentity::isOwnProcess(std::string("com.halvex.desktop")));
    EXPECT_TRUE(HalvexIdentity::isOwnProcess(std::string("com.halvex.desktop.capture-helper")));
    EXPECT_FALSE(HalvexIdentity::isOwnProcess(std::string("")));
    EXPECT_FALSE(HalvexIdentity::isOwnProcess(std::nullopt));
    EXPECT_FALSE(HalvexIdentity::isOwnProcess(std::string("org.chromium.Chromium")));
    EXPECT_FALSE(HalvexIdentity::executablePath().empty());
    EXPECT_EQ(HalvexIdentity::bundlePath(), std::filesystem::path(HalvexIdentity::executablePath()).parent_path());
}

TEST(ResponsibleProcess, AbsentOnThisSystemAndFieldsComeAllOrNone) {
    EXPECT_EQ(ResponsibleProcess::current(), std::nullopt);
    nlohmann::json none = nlohmann::json::object();
    ResponsibleProcess::addResponsibleFields(none, std::nullopt);
    EXPECT_TRUE(none.empty());
    nlohmann::json all = nlohmann::json::object();
    ResponsibleProcess::addResponsibleFields(all, ResponsibleProcess::Info{812, "pid 812", "", false});
    EXPECT_EQ(halvexEncodeCompact(all),
              R"({"responsibleBundleId":"","responsibleIsSelf":false,"responsibleName":"pid 812","responsibleProcessId":812})");
    const ResponsibleProcess::Info info{7, "Halvex", "com.halvex.desktop", true};
    EXPECT_EQ(ResponsibleProcess::infoFromJSON(ResponsibleProcess::toJSON(info)), info);
}

}  // namespace
}  // namespace halvex
