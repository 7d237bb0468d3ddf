#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "core/chart/tradingview/tesseract/ChartlabAccuracy.h"
#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextImageFile.h"

namespace halvex::tesseract {
namespace {

void report(const char* what, const chartlab::Tally& tally) {
    std::cout << what << ": " << tally.hits << "/" << tally.total << "\n";
    for (const std::string& miss : tally.misses) std::cout << "  miss " << miss << "\n";
}

// Reads every chartlab picture once and compares the lines with the truth's texts.
TEST(TesseractTextRecognizerAccuracy, readsChartlabLabelsAndAxisPrices) {
    const std::vector<chartlab::Fixture> fixtures = chartlab::loadFixtures();
    if (fixtures.empty()) GTEST_SKIP() << "chartlab fixtures not found at " << chartlab::fixturesDirectory();
    auto recognizer = TesseractTextRecognizer::create();
    chartlab::Score score;
    for (const chartlab::Fixture& fixture : fixtures) {
        const TextImageFile image = TextImageFile::read(fixture.image.string());
        const auto lines = recognizer->recognize(image.view(), TextRecognitionSettings::chartLabels(0.007f));
        chartlab::scoreFixture(fixture, lines, score);
    }
    report("position labels", score.positionLabels);
    report("axis prices", score.axisPrices);
    std::cout << "axis prices under a tag (not scored): " << score.coveredAxisPrices.hits << "/"
              << score.coveredAxisPrices.total << "\n";
    report("protective labels", score.protectiveLabels);
    report("symbols", score.symbols);
    // The committed pictures give 45/45 labels, 643/664 uncovered axis prices, 56/57 protective
    // labels and 56/57 symbols; the floors are the rates a chart reader needs, with room for a
    // different Tesseract build to differ on a line or two.
    EXPECT_GE(score.positionLabels.rate(), 0.95);
    EXPECT_GE(score.axisPrices.rate(), 0.90);
    EXPECT_GE(score.protectiveLabels.rate(), 0.90);
    EXPECT_GE(score.symbols.rate(), 0.90);
}

}  // namespace
}  // namespace halvex::tesseract
