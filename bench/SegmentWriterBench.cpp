// Encode throughput of the FFmpeg segment encoder on screen-like content (a still desktop with a
// chart strip that scrolls and a moving cursor): frames per second of wall time and CPU seconds
// per frame (all threads of the process), at 1920x1080 and 3840x2160, for both libx264 threading
// modes and one or two libswscale threads. Each run encodes 60 frames (2 s at 30 fps, segments of
// 1 s) as fast as the encoder takes them.
//
// With HALVEX_SEGMENT_BENCH_FRAMES_DIR set, the distinct frames are also written there as
// frames-<w>x<h>.bgra (raw BGRA, one after the other) so scripts/compare-segment-encoder.sh can
// feed the very same pixels to the ffmpeg command-line tool.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/capture/SegmentedCaptureWriter.h"
#include "core/capture/ffmpeg/FFmpegSegmentEncoder.h"

namespace {

using namespace halvex;
using namespace halvex::ffmpeg;

constexpr int distinctFrames = 20;
constexpr int framesPerRun = 60;
constexpr int fps = 30;
constexpr double segmentSeconds = 1.0;

double processCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void paint(PixelBuffer& buffer, int x0, int y0, int x1, int y1, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    for (int y = std::max(0, y0); y < std::min(buffer.height(), y1); ++y) {
        std::uint8_t* row = buffer.row(y);
        for (int x = std::max(0, x0); x < std::min(buffer.width(), x1); ++x) {
            row[4 * x] = b;
            row[4 * x + 1] = g;
            row[4 * x + 2] = r;
            row[4 * x + 3] = 255;
        }
    }
}

// Frame n: the same desktop (panels, text-like stripes), a chart strip of thin candles that
// scrolls by n columns, and a cursor at a position that moves with n.
std::shared_ptr<PixelBuffer> screenFrame(int width, int height, int n) {
    auto buffer = PixelBuffer::create(width, height);
    paint(*buffer, 0, 0, width, height, 32, 28, 24);
    paint(*buffer, 0, 0, width, height / 20, 60, 60, 60);
    for (int line = 0; line < 40; ++line) {
        const int y = height / 10 + line * height / 50;
        for (int word = 0; word < 12; ++word) {
            const int x = width * 3 / 4 + word * width / 60;
            paint(*buffer, x, y, x + width / 80 + (line * 7 + word * 13) % (width / 100), y + height / 120, 200, 200, 200);
        }
    }
    const int chartLeft = width / 20, chartRight = width * 7 / 10, chartTop = height / 8, chartBottom = height * 7 / 8;
    paint(*buffer, chartLeft, chartTop, chartRight, chartBottom, 20, 18, 16);
    for (int x = chartLeft; x < chartRight; x += 6) {
        const int index = (x - chartLeft) / 6 + n;
        const int mid = chartTop + (chartBottom - chartTop) / 2 + ((index * 37) % 200 - 100) * (chartBottom - chartTop) / 500;
        const int body = 4 + (index * 11) % 30;
        const bool up = (index * 7) % 3 != 0;
        paint(*buffer, x, mid - body, x + 4, mid + body, up ? 120 : 60, up ? 200 : 60, up ? 60 : 220);
    }
    const int cursorX = width / 3 + n * 9, cursorY = height / 2 + n * 4;
    paint(*buffer, cursorX, cursorY, cursorX + 12, cursorY + 18, 255, 255, 255);
    return buffer;
}

const std::vector<std::shared_ptr<PixelBuffer>>& framesFor(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<std::shared_ptr<PixelBuffer>>> cache;
    auto& frames = cache[{width, height}];
    if (!frames.empty()) return frames;
    for (int n = 0; n < distinctFrames; ++n) frames.push_back(screenFrame(width, height, n));
    if (const char* directory = std::getenv("HALVEX_SEGMENT_BENCH_FRAMES_DIR")) {
        std::ofstream out(std::string(directory) + "/frames-" + std::to_string(width) + "x" + std::to_string(height) + ".bgra",
                          std::ios::binary);
        for (const auto& frame : frames) {
            for (int y = 0; y < height; ++y) out.write(reinterpret_cast<const char*>(frame->row(y)), width * 4);
        }
    }
    return frames;
}

// Arguments: width, height, threading (0 frame threads, 1 zerolatency sliced threads), scaler threads.
void EncodeScreenContent(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    FFmpegSegmentEncoderOptions options;
    options.threading = state.range(2) == 0 ? EncoderThreading::frameThreads : EncoderThreading::slicedLowLatency;
    options.scalerThreads = static_cast<int>(state.range(3));
    options.inputCapacity = framesPerRun;
    const auto& frames = framesFor(width, height);
    SegmentedCaptureWriter::Configuration configuration{"", width, height, fps, segmentSeconds, 1};
    const SegmentEncoderSettings settings = SegmentedCaptureWriter::encoderSettings(configuration);

    double wallSeconds = 0, cpuSeconds = 0;
    std::int64_t frameCount = 0, byteCount = 0, segmentCount = 0;
    for (auto _ : state) {
        FFmpegSegmentEncoder encoder(settings, options);
        encoder.setOutputHandler([&](std::string bytes, SegmentType type, std::optional<SegmentReport>) {
            byteCount += static_cast<std::int64_t>(bytes.size());
            if (type == SegmentType::separable) ++segmentCount;
        });
        std::promise<void> done;
        const double cpuStart = processCPUSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        encoder.startWriting(MediaTime::zero());
        for (int i = 0; i < framesPerRun; ++i) {
            const SampleBuffer sample{frames[static_cast<std::size_t>(i % distinctFrames)], MediaTime::make(i, fps), true};
            if (encoder.tryAppend(sample) != SegmentAppendResult::accepted) state.SkipWithError("frame not taken");
        }
        encoder.finishWriting([&] { done.set_value(); });
        done.get_future().wait();
        wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        cpuSeconds += processCPUSeconds() - cpuStart;
        frameCount += framesPerRun;
        if (encoder.status() != SegmentEncoderStatus::completed) state.SkipWithError("encoding failed");
    }
    state.counters["fps"] = static_cast<double>(frameCount) / wallSeconds;
    state.counters["cpu_s_per_frame"] = cpuSeconds / static_cast<double>(frameCount);
    state.counters["Mbit_per_s"] = static_cast<double>(byteCount) * 8 / (static_cast<double>(frameCount) / fps) / 1e6;
    state.counters["segments"] = static_cast<double>(segmentCount) / static_cast<double>(state.iterations());
}
BENCHMARK(EncodeScreenContent)
    ->ArgNames({"w", "h", "sliced", "swsThreads"})
    ->Args({1920, 1080, 0, 1})
    ->Args({1920, 1080, 1, 1})
    ->Args({1920, 1080, 0, 2})
    ->Args({1920, 1080, 1, 2})
    ->Args({3840, 2160, 0, 1})
    ->Args({3840, 2160, 1, 1})
    ->Args({3840, 2160, 0, 2})
    ->Args({3840, 2160, 1, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
