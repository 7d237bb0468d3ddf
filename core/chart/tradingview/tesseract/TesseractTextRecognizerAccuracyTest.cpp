#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <string>

#include "core/chart/tradingview/tesseract/ChartlabAccuracy.h"
#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextImageFile.h"

namespace halvex::tesseract {
namespace {

// Position labels the recogniser still misreads, with the reason seen in the line crops: a candle
// cluster or the series line glued to the label, or the badge digit read as a bracket or another
// digit. A miss outside this list is a regression worth a look.
const std::set<std::string> kKnownLabelMisses{
    "scene-002",  // candles touch the label; the amount is read with the candles
    "scene-007",  // badge "12" read as "72]"
    "scene-008",  // "points" falls into a separate region
    "scene-009",  // candles glued to the label
    "scene-012",  // hover TP/SL buttons; badge "1" lost, thousands comma dropped
    "scene-017",  // candles glued to the label
    "scene-019",  // candles glued to the label
    "scene-024",  // badge "2.5" read as its own line, the amount's minus lost
    "scene-025",  // badge "1" read as "1."
    "scene-035",  // candles glued to the label
    "scene-043",  // candles glued to the label
    "scene-045",  // the series line ties the label to half the chart
    "scene-057",  // badge "1" lost next to the drawing tool's boxes
};

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
    report("protective labels", score.protectiveLabels);
    report("symbols", score.symbols);
    // Floors reached on the committed pictures (32/45 labels, 639/772 axis prices), kept a little
    // below so that a different Tesseract build does not fail on one line.
    EXPECT_GE(score.positionLabels.rate(), 0.68);
    EXPECT_GE(score.axisPrices.rate(), 0.80);
    EXPECT_GE(score.symbols.rate(), 0.90);
    for (const std::string& miss : score.positionLabels.misses) {
        const std::string scene = miss.substr(0, miss.find(' '));
        EXPECT_TRUE(kKnownLabelMisses.contains(scene)) << "new position label miss: " << miss;
    }
}

}  // namespace
}  // namespace halvex::tesseract
