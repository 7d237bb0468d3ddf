// Frame classification on a busy TradingView chart: 200 recognised texts (price axis, time axis,
// legend and indicator values, order and drawing-tool widgets, protective labels and one open
// position), the load the watcher's scan meets several times a second.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/chart/tradingview/TradingViewChartDetector.h"

namespace {

using namespace halvex;

ChartOCRCandidate text(std::string value, double x, double y, double width, double confidence = 0.9,
                       std::optional<std::string> role = std::nullopt) {
    ChartOCRCandidate candidate;
    candidate.text = std::move(value);
    candidate.confidence = confidence;
    candidate.x = x;
    candidate.y = y;
    candidate.width = width;
    candidate.height = 0.02;
    candidate.visualRole = std::move(role);
    return candidate;
}

std::vector<ChartOCRCandidate> busyChart(std::size_t count, double positionX) {
    std::vector<ChartOCRCandidate> frame;
    frame.push_back(text("ESZ4 · 15 · CME", 0.01, 0.955, 0.12));
    frame.push_back(text("O4501.25 H4503.00 L4499.75 C4502.50 +1.25 (+0.03%)", 0.14, 0.955, 0.3));
    frame.push_back(text("Vol 12.5K", 0.01, 0.92, 0.05));
    frame.push_back(text("EMA 20 close 4498.50", 0.01, 0.89, 0.12));
    frame.push_back(text("Buy 4502.75", 0.45, 0.955, 0.06));
    frame.push_back(text("Sell 4502.50", 0.52, 0.955, 0.06));
    frame.push_back(text("Long Position", 0.20, 0.70, 0.08));
    frame.push_back(text("Risk/Reward Ratio: 2.5", 0.20, 0.67, 0.12));
    frame.push_back(text("Target: 25.00 (0.55%) Amount: 1250", 0.20, 0.64, 0.16));
    frame.push_back(text("Stop: 10.00 (0.22%) Amount: 500", 0.20, 0.40, 0.16));
    frame.push_back(text("Order executed: Buy 1 ESZ4 at 4500.25", 0.35, 0.10, 0.30, 0.92));
    frame.push_back(text("Buy Limit 1", 0.30, 0.30, 0.07, 0.9, "unfilled-order"));
    frame.push_back(text("× +250.00 USD", positionX, 0.62, 0.08));
    frame.push_back(text("× -100.00 USD", positionX, 0.38, 0.08));
    ChartOCRCandidate badge = text("2", positionX, 0.50, 0.012, 1.0, "active-long");
    badge.badgeRect = ChartNormalizedRect{positionX - 0.002, 0.497, 0.016, 0.028};
    frame.push_back(badge);
    frame.push_back(text("+125.50 USD", positionX + 0.014, 0.50, 0.07));
    // Price axis, time axis and stray chart texts fill the rest.
    for (std::size_t i = 0; frame.size() < count; ++i) {
        switch (i % 4) {
            case 0:  // price axis
                frame.push_back(text(std::to_string(4400 + i) + ".25", 0.95, 0.06 + 0.0047 * (i % 190), 0.04));
                break;
            case 1:  // time axis
                frame.push_back(text(std::to_string(9 + i % 12) + ":" + std::to_string(10 + i % 50),
                                     0.02 + 0.019 * (i % 48), 0.03, 0.03));
                break;
            case 2:  // price-change figures of indicators and the watchlist
                frame.push_back(text("+" + std::to_string(i % 7) + ".50", 0.05 + 0.009 * (i % 90),
                                     0.2 + 0.003 * (i % 200), 0.03, 0.6));
                break;
            default:  // recognition noise
                frame.push_back(text("·", 0.1 + 0.008 * (i % 100), 0.5, 0.005, 0.1));
                break;
        }
    }
    return frame;
}

void classifyBusyFrame(benchmark::State& state) {
    const auto frame = busyChart(static_cast<std::size_t>(state.range(0)), 0.6);
    // The first call compiles the patterns; the timed calls must not pay for that again.
    benchmark::DoNotOptimize(TradingViewChartDetector::classifyDetailed(frame, 0, true));
    for (auto _ : state) {
        auto result = TradingViewChartDetector::classifyDetailed(frame, 1'700'000'000, true);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(classifyBusyFrame)->Arg(200)->Arg(50)->Unit(benchmark::kMicrosecond);

void classifyTwoPanes(benchmark::State& state) {
    const std::vector<ChartPaneReading> panes{
        {ChartPane{0, 2, 0.0, 0.5}, busyChart(100, 0.6), "ESZ4"},
        {ChartPane{1, 2, 0.5, 1.0}, busyChart(100, 0.3), "NQZ4"},
    };
    benchmark::DoNotOptimize(TradingViewChartDetector::classifyDetailed(panes, 0, true));
    for (auto _ : state) {
        auto result = TradingViewChartDetector::classifyDetailed(panes, 1'700'000'000, true);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(classifyTwoPanes)->Unit(benchmark::kMicrosecond);

void readCompactLabel(benchmark::State& state) {
    const std::string label = "2 | +1,125.50 USD";
    benchmark::DoNotOptimize(TradingViewChartDetector::readCompactLabel(label));
    for (auto _ : state) benchmark::DoNotOptimize(TradingViewChartDetector::readCompactLabel(label));
}
BENCHMARK(readCompactLabel);

void normalizedText(benchmark::State& state) {
    const std::string label = "  2\u00A0|\u2009\u2212125.50   USD ";
    for (auto _ : state) benchmark::DoNotOptimize(TradingViewChartDetector::normalizedText(label));
}
BENCHMARK(normalizedText);

}  // namespace
