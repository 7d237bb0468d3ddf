#include <benchmark/benchmark.h>

#include "core/imaging/BGRAScaler.h"
#include "core/imaging/JPEGCodec.h"

namespace halvex {
namespace {

// A retina-sized window with some structure, so the encoder has edges to work on.
std::shared_ptr<PixelBuffer> sampleImage(int width, int height) {
    auto image = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image->row(y);
        for (int x = 0; x < width; ++x) {
            row[x * 4 + 0] = static_cast<std::uint8_t>((x / 16) * 37);
            row[x * 4 + 1] = static_cast<std::uint8_t>((y / 16) * 53);
            row[x * 4 + 2] = static_cast<std::uint8_t>(x ^ y);
            row[x * 4 + 3] = 255;
        }
    }
    return image;
}

void BM_FitPreview(benchmark::State& state) {
    const auto source = sampleImage(3024, 1964);
    BGRAScaler scaler;
    for (auto _ : state) benchmark::DoNotOptimize(scaler.fitted(*source, static_cast<int>(state.range(0)), static_cast<int>(state.range(0) * 1964 / 3024) & ~1));
}
BENCHMARK(BM_FitPreview)->Arg(320)->Arg(480)->Arg(1920)->Unit(benchmark::kMillisecond);

void BM_EncodePreviewJPEG(benchmark::State& state) {
    const auto image = sampleImage(static_cast<int>(state.range(0)), static_cast<int>(state.range(0) * 1964 / 3024) & ~1);
    for (auto _ : state) benchmark::DoNotOptimize(JPEGCodec::encode(*image, 0.7));
}
BENCHMARK(BM_EncodePreviewJPEG)->Arg(320)->Arg(480)->Arg(1920)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace halvex
