#include <gtest/gtest.h>

#include "tests/support/FailureMessage.h"

#include <functional>

#include "helper/commands/CaptureCommands.h"

namespace halvex {
namespace {

Payload payloadOf(JSONValue::Object values) { return Payload{std::move(values)}; }

using testing::messageOf;

JSONValue::Object validStart() {
    return {{"sourceType", "window"}, {"sourceId", "window:5"}, {"outputDirectory", "/tmp/rec"}};
}

TEST(CaptureCommands, StartConfigurationAppliesDefaultsRoundingAndStandardisesTheDirectory) {
    auto values = validStart();
    values["outputDirectory"] = "/tmp/a/./b/../rec/";
    const auto defaults = CaptureCommands::startConfiguration(payloadOf(values));
    EXPECT_EQ(defaults.sourceType, "window");
    EXPECT_EQ(defaults.sourceID, "window:5");
    EXPECT_EQ(defaults.outputDirectory, "/tmp/a/rec");
    EXPECT_EQ(defaults.bufferSeconds, 180);
    EXPECT_EQ(defaults.segmentSeconds, 10);
    EXPECT_EQ(defaults.fps, 30);
    EXPECT_EQ(defaults.recordMode, CaptureRecordMode::rolling);

    values = validStart();
    values["fps"] = 60.4;
    values["bufferSeconds"] = 1.5;  // not rounded
    values["segmentSeconds"] = 60;
    values["recordMode"] = "on-trade";
    const auto explicitValues = CaptureCommands::startConfiguration(payloadOf(values));
    EXPECT_EQ(explicitValues.fps, 60);
    EXPECT_EQ(explicitValues.bufferSeconds, 1.5);
    EXPECT_EQ(explicitValues.segmentSeconds, 60);
    EXPECT_EQ(explicitValues.recordMode, CaptureRecordMode::onTrade);

    values = validStart();
    values["outputDirectory"] = "relative/dir";
    EXPECT_EQ(CaptureCommands::startConfiguration(payloadOf(values)).outputDirectory,
              std::filesystem::current_path() / "relative" / "dir");
}

TEST(CaptureCommands, StartConfigurationReportsTheFirstFailureInTheDocumentedOrder) {
    const auto with = [](JSONValue::Object changes) {
        auto values = validStart();
        for (auto& [key, value] : changes) {
            if (value.isNull()) {
                values.erase(key);
            } else {
                values[key] = value;
            }
        }
        return payloadOf(values);
    };
    const std::pair<Payload, std::string> cases[] = {
        {with({{"fps", 0.4}}), "fps must be between 1 and 60."},
        {with({{"fps", 60.5}}), "fps must be between 1 and 60."},
        // Every value is read before any bound is tested, and the buffer is tested first.
        {with({{"bufferSeconds", 0.5}, {"segmentSeconds", 0.5}, {"fps", 0}}), "bufferSeconds must be between 1 and 3600."},
        {with({{"bufferSeconds", 3600.5}}), "bufferSeconds must be between 1 and 3600."},
        {with({{"segmentSeconds", 61}, {"fps", 100}}), "segmentSeconds must be between 1 and 60."},
        {with({{"bufferSeconds", 0.5}, {"recordMode", "Rolling"}}),
         "recordMode must be \"rolling\" or \"on-trade\", not \"Rolling\"."},
        {with({{"bufferSeconds", 0.5}, {"fps", "30"}}), "fps must be a finite number."},
        {with({{"outputDirectory", nullptr}, {"fps", 0}}), "outputDirectory must be a non-empty string."},
        {with({{"sourceId", ""}, {"outputDirectory", nullptr}}), "sourceId must be a non-empty string."},
    };
    for (const auto& [payload, message] : cases) {
        EXPECT_EQ(messageOf([&] { CaptureCommands::startConfiguration(payload); }), "Invalid payload: " + message)
            << nlohmann::json(JSONValue(payload.values).toJSON()).dump();
    }
}

}  // namespace
}  // namespace halvex
