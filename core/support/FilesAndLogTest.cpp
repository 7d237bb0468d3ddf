#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "core/support/AtomicFile.h"
#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex {
namespace {

using testing::TemporaryDirectory;
using testing::readWholeFile;

TEST(NativeLog, AppendsStampedLinesToTheLogFileAndSwitchesFiles) {
    TemporaryDirectory directory;
    const auto first = directory.file("first.log");
    const auto second = directory.file("second.log");
    testing::writeWholeFile(first, "earlier text\n");

    halvexSetLogFile(first);
    halvexNativeLog("one");
    halvexSetLogFile(second);
    halvexNativeLog("two");
    halvexSetLogFile(std::nullopt);
    halvexNativeLog("three");

    const std::regex stamped(R"(^earlier text\n\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] \[HalvexMacHelper\] one\n$)");
    EXPECT_TRUE(std::regex_match(readWholeFile(first), stamped)) << readWholeFile(first);
    EXPECT_TRUE(readWholeFile(second).ends_with("] [HalvexMacHelper] two\n"));
    EXPECT_EQ(readWholeFile(second).find("three"), std::string::npos);
}

TEST(NativeLog, ARelativePathLeavesNoLogFile) {
    TemporaryDirectory directory;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(directory.path());
    halvexSetLogFile(std::string("relative.log"));
    halvexNativeLog("not in a file");
    std::filesystem::current_path(previous);
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "relative.log"));
}

TEST(AtomicFile, ReplacesTheWholeFileAndLeavesNoTemporaries) {
    TemporaryDirectory directory;
    const auto path = directory.file("record.json");
    halvexWriteFileAtomically(path, "old");
    halvexWriteFileAtomically(path, "new contents");
    EXPECT_EQ(readWholeFile(path), "new contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 1);
}

TEST(AtomicFile, AFailedWriteReportsAndKeepsThePreviousFile) {
    if (::geteuid() == 0) {
        // root ignores directory permissions; a missing directory fails the same code path.
        TemporaryDirectory directory;
        EXPECT_THROW(halvexWriteFileAtomically(directory.file("missing/record.json"), "x"), PlatformError);
    }
    TemporaryDirectory directory;
    const auto path = directory.file("record.json");
    halvexWriteFileAtomically(path, "previous");
    ::chmod(directory.path().c_str(), 0500);
    if (::geteuid() != 0) {
        EXPECT_THROW(halvexWriteFileAtomically(path, "replacement"), PlatformError);
    }
    ::chmod(directory.path().c_str(), 0700);
    EXPECT_EQ(readWholeFile(path), "previous");
}

}  // namespace
}  // namespace halvex
