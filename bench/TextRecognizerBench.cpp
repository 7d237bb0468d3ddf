// Text recogniser cost on chart frames: a cold 1920x1080 frame (empty region cache, warm engine),
// the same frame when only the P&L amount changed since the last scan, the same at 3840x2160, the
// detection pass alone, and one accuracy pass over the chartlab pictures (rates as counters).
#include <benchmark/benchmark.h>

#include "core/chart/tradingview/tesseract/ChartlabAccuracy.h"
#include "core/chart/tradingview/tesseract/GreyImage.h"
#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextImageFile.h"
#include "core/chart/tradingview/tesseract/TextLineDetector.h"

namespace {

using namespace halvex;
using namespace halvex::tesseract;

const TextImageFile& frame1080() {
    static const TextImageFile image = TextImageFile::read((chartlab::fixturesDirectory() / "scene-006.png").string());
    return image;
}

// The 1080p picture doubled (nearest neighbour), as a 4K capture of the same layout at scale 2.
const TextImageFile& frame2160() {
    static const TextImageFile image = [] {
        const TextImageFile& small = frame1080();
        TextImageFile large;
        large.width = small.width * 2;
        large.height = small.height * 2;
        large.rgbx.resize(static_cast<std::size_t>(large.width * large.height * 4));
        for (std::int64_t y = 0; y < large.height; ++y) {
            for (std::int64_t x = 0; x < large.width; ++x) {
                std::copy_n(small.rgbx.begin() + ((y / 2) * small.width + x / 2) * 4, 4,
                            large.rgbx.begin() + (y * large.width + x) * 4);
            }
        }
        return large;
    }();
    return image;
}

const TextRecognitionSettings& settings() {
    static const TextRecognitionSettings value = TextRecognitionSettings::chartLabels(0.007f);
    return value;
}

// Flips a few pixels inside the amount of scene-006's position label ("+$10.00" at 1440…1500,
// 690…705 in 1080p coordinates), as a P&L tick would.
void touchAmount(TextImageFile& image, int scale, int generation) {
    for (std::int64_t y = 690 * scale; y < 705 * scale; ++y) {
        for (std::int64_t x = 1452 * scale; x < 1458 * scale; ++x) {
            auto& green = image.rgbx[static_cast<std::size_t>((y * image.width + x) * 4 + 1)];
            green = static_cast<std::uint8_t>(green ^ (generation % 2 == 0 ? 0x20 : 0x00));
        }
    }
}

void coldFrame(benchmark::State& state, const TextImageFile& image) {
    // One engine initialised beforehand: the cold figure is the scan, not the engine start.
    TesseractTextRecognizer::create()->recognize(image.view(), settings());
    for (auto _ : state) {
        auto recognizer = TesseractTextRecognizer::create();
        benchmark::DoNotOptimize(recognizer->recognize(image.view(), settings()));
    }
}

void amountChangedFrame(benchmark::State& state, const TextImageFile& original, int scale) {
    TextImageFile image = original;
    auto recognizer = TesseractTextRecognizer::create();
    recognizer->recognize(image.view(), settings());
    int generation = 0;
    for (auto _ : state) {
        touchAmount(image, scale, ++generation);
        benchmark::DoNotOptimize(recognizer->recognize(image.view(), settings()));
    }
}

void BM_ColdFrame1920x1080(benchmark::State& state) { coldFrame(state, frame1080()); }
void BM_AmountChangedFrame1920x1080(benchmark::State& state) { amountChangedFrame(state, frame1080(), 1); }
void BM_ColdFrame3840x2160(benchmark::State& state) { coldFrame(state, frame2160()); }
void BM_AmountChangedFrame3840x2160(benchmark::State& state) { amountChangedFrame(state, frame2160(), 2); }

void detection(benchmark::State& state, const TextImageFile& image) {
    for (auto _ : state) {
        const GreyImage grey = GreyImage::fromTextImage(image.view());
        benchmark::DoNotOptimize(TextLineDetector::frameRegions(grey));
    }
}
void BM_Detection1920x1080(benchmark::State& state) { detection(state, frame1080()); }
void BM_Detection3840x2160(benchmark::State& state) { detection(state, frame2160()); }

void BM_ChartlabAccuracy(benchmark::State& state) {
    const auto fixtures = chartlab::loadFixtures();
    for (auto _ : state) {
        chartlab::Score score;
        auto recognizer = TesseractTextRecognizer::create();
        for (const auto& fixture : fixtures) {
            const TextImageFile image = TextImageFile::read(fixture.image.string());
            chartlab::scoreFixture(fixture, recognizer->recognize(image.view(), settings()), score);
        }
        state.counters["positionLabels"] = score.positionLabels.rate();
        state.counters["axisPrices"] = score.axisPrices.rate();
        state.counters["protectiveLabels"] = score.protectiveLabels.rate();
        state.counters["symbols"] = score.symbols.rate();
    }
}

BENCHMARK(BM_ColdFrame1920x1080)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_AmountChangedFrame1920x1080)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ColdFrame3840x2160)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_AmountChangedFrame3840x2160)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Detection1920x1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detection3840x2160)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChartlabAccuracy)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
