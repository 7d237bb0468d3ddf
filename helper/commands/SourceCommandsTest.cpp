#include <gtest/gtest.h>

#include "tests/support/FailureMessage.h"

#include <functional>

#include "core/sources/SourceCatalog.h"
#include "helper/commands/SourceCommands.h"

namespace halvex {
namespace {

Payload payloadOf(JSONValue::Object values) { return Payload{std::move(values)}; }

using testing::messageOf;

TEST(SourceCommands, ThumbnailRoundsTheWidthAndChecksInOrder) {
    auto platform = std::make_shared<FakeSourcePlatform>();
    ShareableWindow window;
    window.windowId = 5;
    window.frame = {0, 0, 3024, 1964};
    platform->onScreenContent.windows = {window};
    HelperEnvironment environment;
    environment.sources = std::make_shared<SourceCatalog>(platform);

    const auto result = SourceCommands::sourceThumbnail(
        environment, payloadOf({{"sourceType", "window"}, {"sourceId", "5"}, {"maxWidth", 319.5}}));
    EXPECT_EQ(result, (nlohmann::json{{"sourceId", "window:5"}, {"jpegBase64", "/9j/2Q=="}}));
    EXPECT_EQ(platform->lastCaptureWidth, 320);
    EXPECT_EQ(platform->lastCaptureHeight, 208);
    SourceCommands::sourceThumbnail(environment, payloadOf({{"sourceType", "window"}, {"sourceId", "5"}}));
    EXPECT_EQ(platform->lastCaptureWidth, 480);

    const int callsBefore = platform->contentCalls;
    // The type is checked before the id, both before the width, and all before the catalog runs.
    EXPECT_EQ(messageOf([&] { SourceCommands::sourceThumbnail(environment, payloadOf({{"maxWidth", 1e300}})); }),
              "Invalid payload: sourceType must be a non-empty string.");
    EXPECT_EQ(messageOf([&] {
                  SourceCommands::sourceThumbnail(environment, payloadOf({{"sourceType", "window"}, {"sourceId", 5}}));
              }),
              "Invalid payload: sourceId must be a non-empty string.");
    EXPECT_EQ(messageOf([&] {
                  SourceCommands::sourceThumbnail(
                      environment, payloadOf({{"sourceType", "tab"}, {"sourceId", "x"}, {"maxWidth", nullptr}}));
              }),
              "Invalid payload: maxWidth must be a finite number.");
    EXPECT_EQ(platform->contentCalls, callsBefore);
}

TEST(SourceCommands, WithoutACatalogTheCommandsSaySo) {
    const HelperEnvironment environment;
    EXPECT_EQ(messageOf([&] { SourceCommands::listSources(environment); }),
              "Invalid payload: Source listing is not available in this build.");
}

}  // namespace
}  // namespace halvex
