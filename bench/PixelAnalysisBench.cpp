// Pixel analyses on painted chart frames: pane splitting, the badge probe and relocation, and the
// price axis fit.
#include <benchmark/benchmark.h>

#include "core/chart/pixels/PixelFrame.h"
#include "core/chart/pixels/PixelPainter.h"
#include "core/chart/pixels/PriceAxisMap.h"

namespace {

using halvex::PixelFrame;
using halvex::PixelPainter;
using Color = PixelPainter::Color;

struct ChartScene {
    PixelFrame frame;
    PixelFrame::PixelBounds badge;
    PixelFrame::PixelBounds amount;
};

// Two charts side by side with candles, a divider, and a long position's badge, line and amount.
ChartScene paintedChart(std::int64_t width, std::int64_t height) {
    const std::int64_t unit = height / 54;  // about 20 pixels at 1080 rows
    ChartScene scene{PixelPainter::blankFrame(width, height, Color::hex(0x131722), PixelFrame::ChannelOrder::bgra), {}, {}};
    PixelPainter painter(scene.frame);
    for (std::int64_t x = 9; x < width; x += unit / 2 + 3) {
        const std::int64_t top = height / 5 + (x * 7919) % (height / 2);
        painter.fillRect({x, top, x + unit / 2, top + height / 10}, (x / 7) % 2 ? Color::hex(0x089981) : Color::hex(0xf23645));
    }
    painter.verticalDivider(width / 2, 1, Color::hex(0x434651));
    const std::int64_t row = height / 2;
    scene.badge = {width * 3 / 4, row - unit / 2, width * 3 / 4 + unit, row + unit / 2};
    scene.amount = {scene.badge.maxX + unit / 3, row - unit / 3, scene.badge.maxX + 4 * unit, row + unit / 3};
    painter.horizontalLine(row, width / 2 + 1, scene.badge.minX, Color::hex(0x2962ff), 1, PixelPainter::LineStyle::dashed);
    painter.badge(scene.badge, Color::hex(0x2962ff));
    painter.fillRect({scene.badge.maxX, scene.badge.minY, scene.amount.maxX + unit / 2, scene.badge.maxY}, Color::hex(0x1e222d));
    painter.textNoise(scene.amount, Color::hex(0xd1d4dc), 5);
    return scene;
}

const ChartScene& scene(std::int64_t width) {
    static const ChartScene hd = paintedChart(1920, 1080);
    static const ChartScene uhd = paintedChart(3840, 2160);
    return width == 1920 ? hd : uhd;
}

void BM_DetectChartPanes(benchmark::State& state) {
    const ChartScene& chart = scene(state.range(0));
    if (chart.frame.detectChartPanes().size() != 2) state.SkipWithError("the painted divider was not found");
    for (auto _ : state) benchmark::DoNotOptimize(chart.frame.detectChartPanes());
}
BENCHMARK(BM_DetectChartPanes)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond);

void BM_ProbeBadgeBesideAmount(benchmark::State& state) {
    const ChartScene& chart = scene(state.range(0));
    const auto rect = chart.frame.normalizedRect(chart.amount);
    if (chart.frame.probeBadge(rect, false).role != PixelFrame::BadgeProbe::activeLong) state.SkipWithError("no badge");
    for (auto _ : state) benchmark::DoNotOptimize(chart.frame.probeBadge(rect, false));
}
BENCHMARK(BM_ProbeBadgeBesideAmount)->Arg(1920)->Arg(3840)->Unit(benchmark::kMicrosecond);

void BM_RelocateBadge(benchmark::State& state) {
    const ChartScene& chart = scene(state.range(0));
    auto remembered = chart.badge;
    remembered.minY -= chart.badge.height();
    remembered.maxY -= chart.badge.height();
    const auto rect = chart.frame.normalizedRect(remembered);
    if (!chart.frame.relocateBadge(rect, 1, 3.0, 2.5)) state.SkipWithError("badge not found again");
    for (auto _ : state) benchmark::DoNotOptimize(chart.frame.relocateBadge(rect, 1, 3.0, 2.5));
}
BENCHMARK(BM_RelocateBadge)->Arg(1920)->Arg(3840)->Unit(benchmark::kMicrosecond);

// An axis of `ticks` labels over the frame height with a last-price tag and a misread label.
void BM_PriceAxisFit(benchmark::State& state) {
    const auto ticks = state.range(0);
    const auto height = static_cast<double>(state.range(1));
    std::vector<halvex::PriceAxisMap::Label> labels;
    for (std::int64_t i = 0; i < ticks; ++i) {
        labels.push_back({5000.0 - 2.5 * static_cast<double>(i), (static_cast<double>(i) + 0.5) * height / static_cast<double>(ticks)});
    }
    labels.push_back({4991.37, height * 0.3});
    labels.push_back({9491.25, height * 0.6});
    const halvex::PriceAxisMap::RowRange rows{0, state.range(1)};
    if (!halvex::PriceAxisMap::fit(labels, rows)) state.SkipWithError("axis refused");
    for (auto _ : state) benchmark::DoNotOptimize(halvex::PriceAxisMap::fit(labels, rows));
}
BENCHMARK(BM_PriceAxisFit)->Args({16, 1080})->Args({30, 2160})->Args({58, 2160})->Unit(benchmark::kMicrosecond);

}  // namespace
