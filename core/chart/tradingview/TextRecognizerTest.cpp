#include <gtest/gtest.h>

#include "core/chart/tradingview/TextRecognizer.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

TEST(TextRecognitionLevel, roundTripsItsRawValues) {
    for (TextRecognitionLevel level : {TextRecognitionLevel::accurate, TextRecognitionLevel::fast}) {
        EXPECT_EQ(parseTextRecognitionLevel(rawValue(level)), level);
    }
    EXPECT_EQ(parseTextRecognitionLevel("Accurate"), std::nullopt);
}

TEST(TextRecognitionSettings, chartLabelRequestUsesTheUnitWordsWithoutCorrection) {
    const TextRecognitionSettings settings = TextRecognitionSettings::chartLabels(0.007f);
    EXPECT_EQ(settings.level, TextRecognitionLevel::accurate);
    EXPECT_EQ(settings.languages, std::vector<std::string>{"en-US"});
    EXPECT_EQ(settings.customWords, (std::vector<std::string>{"USD", "EUR", "GBP", "ticks", "pips", "points"}));
    EXPECT_FALSE(settings.usesLanguageCorrection);
    EXPECT_FLOAT_EQ(settings.minimumTextHeight, 0.007f);
}

class FakeTextRecognizerTest : public ::testing::Test {
protected:
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(8 * 4 * 4, 255);
    TextImage image{pixels.data(), 8, 4, 32, TextImageFormat::rgbx};
    FakeTextRecognizer fake;
};

TEST_F(FakeTextRecognizerTest, playsItsScriptThenTheDefaultAndRecordsEachCall) {
    fake.setDefaultLines({{"default", 0.5, 0, 0, 1, 0.5}});
    fake.scriptLines({{"2 +125.50 USD", 0.9, 0.1, 0.2, 0.3, 0.05}});
    fake.scriptFailure("engine gone");
    TextRecognitionSettings settings = TextRecognitionSettings::chartLabels(0.02f);

    const auto first = fake.recognize(image, settings);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].text, "2 +125.50 USD");
    EXPECT_THROW(fake.recognize(image, settings), PlatformError);
    EXPECT_EQ(fake.recognize(image, settings)[0].text, "default");

    const auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].width, 8);
    EXPECT_EQ(calls[0].height, 4);
    EXPECT_EQ(calls[0].settings, settings);
}

TEST_F(FakeTextRecognizerTest, keepsTheContractOnEmptyAndShortLines) {
    fake.scriptLines({{"", 0.9, 0, 0, 0.5, 0.1}, {"tiny", 0.9, 0, 0, 0.5, 0.01}, {"kept", 0.9, 0, 0.5, 0.5, 0.03}});
    const auto lines = fake.recognize(image, TextRecognitionSettings::chartLabels(0.02f));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "kept");
}

TEST_F(FakeTextRecognizerTest, refusesAnUnusableViewAndCountsPrewarms) {
    TextImage shortRows = image;
    shortRows.bytesPerRow = 31;  // less than 8 pixels of 4 bytes
    EXPECT_THROW(fake.recognize(shortRows, {}), HalvexNativeError);
    EXPECT_TRUE(fake.calls().empty());
    fake.prewarm();
    fake.prewarm();
    EXPECT_EQ(fake.prewarmCount(), 2);
}

}  // namespace
}  // namespace halvex
