#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/chart/tradingview/tesseract/ChartlabAccuracy.h"
#include "core/chart/tradingview/tesseract/GreyImage.h"
#include "core/chart/tradingview/tesseract/SingleThreadedOpenMP.h"
#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextImageFile.h"
#include "core/chart/tradingview/tesseract/TextLineCrop.h"
#include "core/chart/tradingview/tesseract/TextLineDetector.h"
#include "core/support/HalvexNativeError.h"

namespace halvex::tesseract {
namespace {

std::optional<TextImageFile> fixtureImage(const std::string& name) {
    const auto path = chartlab::fixturesDirectory() / (name + ".png");
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;
    return TextImageFile::read(path.string());
}

// RGBX copy of a rectangle of an image, magnified by an integer factor (nearest neighbour).
TextImageFile magnifiedCrop(const TextImageFile& image, const PixelBox& box, int factor) {
    TextImageFile crop;
    crop.width = box.width() * factor;
    crop.height = box.height() * factor;
    crop.rgbx.resize(static_cast<std::size_t>(crop.width * crop.height * 4));
    for (std::int64_t y = 0; y < crop.height; ++y) {
        for (std::int64_t x = 0; x < crop.width; ++x) {
            const std::int64_t sx = box.minX + x / factor;
            const std::int64_t sy = box.minY + y / factor;
            std::copy_n(image.rgbx.begin() + (sy * image.width + sx) * 4, 4, crop.rgbx.begin() + (y * crop.width + x) * 4);
        }
    }
    return crop;
}

std::string joined(const std::vector<RecognizedTextLine>& lines) {
    std::string text;
    for (const auto& line : lines) text += line.text + "\n";
    return text;
}

TEST(SingleThreadedOpenMP, setsTheLimitOnlyWhenMissingAndRestartsOnlyWhenTheRuntimeIsLoaded) {
    struct Case {
        std::optional<std::string> value;
        bool loaded;
        SingleThreadedOpenMPAction expected;
    };
    const Case cases[] = {
        {std::nullopt, false, SingleThreadedOpenMPAction::setVariable},
        {std::nullopt, true, SingleThreadedOpenMPAction::setVariableAndReexec},
        {"1", true, SingleThreadedOpenMPAction::none},
        {"4", true, SingleThreadedOpenMPAction::none},  // the user's own choice stands
        {"", false, SingleThreadedOpenMPAction::none},
    };
    for (const Case& c : cases) EXPECT_EQ(singleThreadedOpenMPAction(c.value, c.loaded), c.expected);
}

TEST(TextLineCrop, turnsBothPolaritiesIntoDarkInkOnWhite) {
    // Left half: white bars on blue-grey (a badge); right half: dark bars on white (an amount).
    GreyImage grey;
    grey.width = 60;
    grey.height = 20;
    grey.pixels.assign(60 * 20, 255);
    for (std::int64_t y = 0; y < 20; ++y) {
        for (std::int64_t x = 0; x < 30; ++x) grey.row(y)[x] = 99;
    }
    for (std::int64_t y = 5; y < 15; ++y) {
        for (std::int64_t x : {8, 9, 16, 17, 40, 41, 48, 49}) grey.row(y)[x] = x < 30 ? 255 : 107;
    }
    const GreyImage normalized = TextLineCrop::normalizedRegion(grey, {0, 0, 60, 20});
    for (std::int64_t x : {8, 16, 40, 48}) EXPECT_LT(normalized.at(x, 10), 64) << "stroke at " << x;
    for (std::int64_t x : {3, 12, 24, 35, 45, 55}) EXPECT_GT(normalized.at(x, 10), 192) << "background at " << x;
    const auto lines = TextLineCrop::linesOf(grey, {0, 0, 60, 20});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].box.minY, 4);
    EXPECT_EQ(lines[0].box.maxY, 16);
}

TEST(TextLineDetector, keepsTheLabelApartFromThePositionLineAndTheCandles) {
    const auto image = fixtureImage("scene-006");
    if (!image) GTEST_SKIP() << "chartlab fixtures not found";
    const GreyImage grey = GreyImage::fromTextImage(image->view());
    const std::vector<PixelBox> regions = TextLineDetector::frameRegions(grey);
    // The label sits on the position line at row 699 (1374…1517 wide); no region may follow the
    // line across the chart, and one region must cover the label's amount.
    bool labelFound = false;
    for (const PixelBox& region : regions) {
        EXPECT_LT(region.width(), 800) << region.minX << "," << region.minY;
        if (region.minY <= 699 && region.maxY >= 699 && region.minX <= 1440 && region.maxX >= 1480) labelFound = true;
    }
    EXPECT_TRUE(labelFound);
}

class TesseractTextRecognizerTest : public ::testing::Test {
protected:
    std::shared_ptr<TesseractTextRecognizer> recognizer = TesseractTextRecognizer::create();
    TextRecognitionSettings settings = TextRecognitionSettings::chartLabels(0.007f);
};

TEST_F(TesseractTextRecognizerTest, readsAMagnifiedLabelCropLineByLine) {
    const auto image = fixtureImage("scene-006");
    if (!image) GTEST_SKIP() << "chartlab fixtures not found";
    // The position label of scene-006 (badge 0.25, amount +$10.00) magnified three times.
    const TextImageFile crop = magnifiedCrop(*image, {1368, 685, 1520, 714}, 3);
    ASSERT_TRUE(TextLineDetector::isSmallImage(crop.width, crop.height));
    const auto lines = recognizer->recognize(crop.view(), TextRecognitionSettings::chartLabels(0.02f));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(chartlab::compactText(joined(lines)).find("0.25+$10.00"), std::string::npos) << joined(lines);
    for (const auto& line : lines) {
        EXPECT_GE(line.confidence, 0.0);
        EXPECT_LE(line.confidence, 1.0);
        EXPECT_GT(line.width, 0.0);
        EXPECT_GE(line.x, 0.0);
        EXPECT_LE(line.x + line.width, 1.0 + 1e-9);
        EXPECT_GE(line.y, 0.0);
        EXPECT_LE(line.y + line.height, 1.0 + 1e-9);
    }
}

TEST_F(TesseractTextRecognizerTest, reportsBoxesWithTheOriginAtTheBottomLeft) {
    const auto image = fixtureImage("scene-006");
    if (!image) GTEST_SKIP() << "chartlab fixtures not found";
    const auto lines = recognizer->recognize(image->view(), settings);
    // The time axis (row ~1017 of 1080) is near the bottom: small y. The toolbar is near the top.
    const auto find = [&](const std::string& text) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const auto& line) { return line.text.find(text) != std::string::npos; });
    };
    const auto time = find("05:00");
    ASSERT_NE(time, lines.end()) << joined(lines);
    EXPECT_LT(time->y, 0.1);
    const auto save = find("Save");
    ASSERT_NE(save, lines.end()) << joined(lines);
    EXPECT_GT(save->y, 0.9);
    // Reading order: top to bottom.
    EXPECT_LT(save - lines.begin(), time - lines.begin());
}

TEST_F(TesseractTextRecognizerTest, answersUnchangedRegionsFromTheCacheAndRereadsOnlyChangedOnes) {
    const auto image = fixtureImage("scene-006");
    if (!image) GTEST_SKIP() << "chartlab fixtures not found";
    const auto first = recognizer->recognize(image->view(), settings);
    const std::int64_t missesAfterFirst = recognizer->cache().misses();
    const auto second = recognizer->recognize(image->view(), settings);
    EXPECT_EQ(first, second);
    EXPECT_EQ(recognizer->cache().misses(), missesAfterFirst);

    // Repaint the amount's digits area: only the regions touching it are read again.
    TextImageFile changed = *image;
    for (std::int64_t y = 690; y < 705; ++y) {
        for (std::int64_t x = 1440; x < 1460; ++x) changed.rgbx[static_cast<std::size_t>((y * changed.width + x) * 4 + 1)] ^= 0x40;
    }
    recognizer->recognize(changed.view(), settings);
    const std::int64_t reread = recognizer->cache().misses() - missesAfterFirst;
    EXPECT_GE(reread, 1);
    EXPECT_LE(reread, 3);
}

TEST_F(TesseractTextRecognizerTest, appliesTheMinimumTextHeightAndAcceptsGreyImages) {
    const auto image = fixtureImage("scene-006");
    if (!image) GTEST_SKIP() << "chartlab fixtures not found";
    const auto all = recognizer->recognize(image->view(), settings);
    TextRecognitionSettings tall = settings;
    tall.minimumTextHeight = 0.02f;  // 21.6 of 1080 rows: only large text survives
    const auto large = recognizer->recognize(image->view(), tall);
    EXPECT_LT(large.size(), all.size());
    for (const auto& line : large) EXPECT_GE(line.height, 0.02);
    for (const auto& line : all) EXPECT_FALSE(line.text.empty());

    const GreyImage grey = GreyImage::fromTextImage(image->view());
    const TextImage greyView{grey.pixels.data(), grey.width, grey.height, grey.width, TextImageFormat::grey};
    EXPECT_EQ(TesseractTextRecognizer::create()->recognize(greyView, settings), all);
}

TEST_F(TesseractTextRecognizerTest, refusesAnUnusableImageView) {
    std::vector<std::uint8_t> bytes(16, 0);
    const TextImage tooShortRows{bytes.data(), 4, 2, 8, TextImageFormat::rgbx};
    EXPECT_THROW(recognizer->recognize(tooShortRows, settings), HalvexNativeError);
    EXPECT_THROW(recognizer->recognize(TextImage{}, settings), HalvexNativeError);
}

TEST_F(TesseractTextRecognizerTest, givesTheSameLinesFromTwoThreadsAtOnce) {
    const auto image = fixtureImage("scene-006");
    if (!image) GTEST_SKIP() << "chartlab fixtures not found";
    const auto crop = magnifiedCrop(*image, {1368, 685, 1520, 714}, 3);
    const auto expected = recognizer->recognize(crop.view(), settings);
    std::vector<RecognizedTextLine> results[2];
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = std::thread([&, i] { results[i] = TesseractTextRecognizer::create()->recognize(crop.view(), settings); });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(results[0], expected);
    EXPECT_EQ(results[1], expected);
}

}  // namespace
}  // namespace halvex::tesseract
