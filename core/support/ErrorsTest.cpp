#include <gtest/gtest.h>

#include <system_error>

#include "core/support/DetailedError.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

TEST(HalvexNativeError, DescriptionsAreTheClientFacingTexts) {
    const std::pair<HalvexNativeError, std::string> cases[] = {
        {HalvexNativeError::invalidPayload("fps must be between 1 and 60."),
         "Invalid payload: fps must be between 1 and 60."},
        {HalvexNativeError::sourceNotFound("window:42"),
         "Capture source window:42 is no longer available. Refresh the source list and try again."},
        {HalvexNativeError::tradeNotFound("t-1"), "Trade session t-1 has not been marked."},
        {HalvexNativeError::writerFailed("disk full"), "The video writer failed: disk full"},
        {HalvexNativeError::captureAlreadyRunning(), "A capture session is already running."},
        {HalvexNativeError::captureNotRunning(), "No capture session is running."},
    };
    for (const auto& [error, description] : cases) {
        EXPECT_EQ(error.description(), description);
        EXPECT_STREQ(error.what(), description.c_str());
    }
}

TEST(HalvexNativeError, EqualityComparesCaseAndPayload) {
    EXPECT_EQ(HalvexNativeError::invalidPayload("a"), HalvexNativeError::invalidPayload("a"));
    EXPECT_NE(HalvexNativeError::invalidPayload("a"), HalvexNativeError::invalidPayload("b"));
    EXPECT_NE(HalvexNativeError::invalidPayload("a"), HalvexNativeError::writerFailed("a"));
}

TEST(DetailedError, RendersEveryPartInOrderAndNestsUnderlyingErrors) {
    EXPECT_EQ(halvexDetailedError(std::exception_ptr()), "unknown error");
    EXPECT_EQ(halvexDetailedError(PlatformError("X11", 3, "BadWindow")), "X11 3: BadWindow");

    PlatformError inner("POSIX", 28, "No space left on device");
    PlatformError middle("FFmpeg", -5, "I/O error");
    middle.withField("file", "/tmp/a.m4s").withUnderlying(std::make_exception_ptr(inner));
    PlatformError outer("HalvexWriter", 1, "Segment write failed");
    outer.withReason("the disk is full").withRecovery("free some space").withField("segment", "7").withField(
        "attempt", "2");
    outer.withUnderlying(std::make_exception_ptr(middle));
    EXPECT_EQ(halvexDetailedError(outer),
              "HalvexWriter 1: Segment write failed | reason=the disk is full | recovery=free some space | segment=7 | "
              "attempt=2 | underlying=[FFmpeg -5: I/O error | file=/tmp/a.m4s | underlying=[POSIX 28: No space left on "
              "device]]");
}

TEST(DetailedError, SystemErrorsUseTheirCategoryAsDomain) {
    const std::system_error error(std::make_error_code(std::errc::permission_denied), "open");
    EXPECT_EQ(halvexDetailedError(std::make_exception_ptr(error)), "generic 13: " + std::string(error.what()));
    EXPECT_EQ(halvexDetailedError(HalvexNativeError::captureNotRunning()),
              "HalvexNativeError 5: No capture session is running.");
}

}  // namespace
}  // namespace halvex
