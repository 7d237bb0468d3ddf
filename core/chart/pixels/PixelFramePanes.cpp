// Pane splitting of PixelFrame: charts of a multi-chart layout are separated by a thin vertical
// divider of one flat colour that differs from both neighbours.
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "core/chart/pixels/PixelFrame.h"

namespace halvex {

namespace {

constexpr std::int64_t minimumWidth = 320;
constexpr std::int64_t minimumHeight = 160;
constexpr std::int64_t minimumBandRows = 32;
constexpr std::int64_t sampledRowsPerColumn = 400;
constexpr double uniformShare = 0.97;
constexpr double sameColourDistance = 6.0 / 255.0;
constexpr double dividerContrast = 25.0 / 255.0;
// Columns whose samples are gathered together, so each sampled row is read as one contiguous stretch.
constexpr std::int64_t gatheredColumns = 64;
constexpr std::uint32_t missingSample = std::numeric_limits<std::uint32_t>::max();

struct ColumnMode {
    bool present = false;
    std::uint32_t key = 0;  // 6 bits per channel, in byte order
    double share = 0;
};

// Counts of 6-bit-per-channel colour keys, kept across columns and calls; after each column only the
// keys it touched are cleared, so a column costs its samples, not the table size.
class ColourKeyCounter {
public:
    ColourKeyCounter() : counts_(std::size_t{1} << 18, 0) {}

    ColumnMode modeOf(const std::uint32_t* keys, std::size_t count) {
        ColumnMode mode;
        std::uint32_t best = 0;
        std::uint32_t samples = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t key = keys[i];
            if (key == missingSample) continue;
            ++samples;
            std::uint32_t& slot = counts_[key];
            if (slot == 0) touched_.push_back(key);
            ++slot;
            // Strictly greater: the first key to reach the highest count keeps it.
            if (slot > best) {
                best = slot;
                mode.key = key;
            }
        }
        for (const std::uint32_t key : touched_) counts_[key] = 0;
        touched_.clear();
        if (samples == 0) return {};
        mode.present = true;
        mode.share = static_cast<double>(best) / static_cast<double>(samples);
        return mode;
    }

private:
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> touched_;
};

double modeDistance(const ColumnMode& a, const ColumnMode& b) {
    if (!a.present || !b.present) return std::numeric_limits<double>::infinity();
    double distance = 0;
    for (const int shift : {12, 6, 0}) {
        const double first = (static_cast<double>((a.key >> shift) & 63u) * 4 + 2) / 255.0;
        const double second = (static_cast<double>((b.key >> shift) & 63u) * 4 + 2) / 255.0;
        distance = std::max(distance, std::abs(first - second));
    }
    return distance;
}

}  // namespace

std::vector<PixelFrame::PaneBounds> PixelFrame::detectChartPanes() const {
    const std::vector<PaneBounds> single{{0, std::max<std::int64_t>(width, 0)}};
    if (width < minimumWidth || height < minimumHeight) return single;
    const std::int64_t bandMinY = std::max<std::int64_t>(0, static_cast<std::int64_t>(0.06 * static_cast<double>(height)));
    const std::int64_t bandMaxY = std::min(height, static_cast<std::int64_t>(0.94 * static_cast<double>(height)));
    const std::int64_t bandRows = bandMaxY - bandMinY;
    if (bandRows < minimumBandRows) return single;
    const std::int64_t rowStep = bandRows < sampledRowsPerColumn ? 1 : bandRows / sampledRowsPerColumn;
    const std::int64_t samples = (bandRows + rowStep - 1) / rowStep;

    // 1. Per column: the most frequent quantised colour over the band and its share.
    thread_local ColourKeyCounter counter;
    std::vector<ColumnMode> modes(static_cast<std::size_t>(width));
    std::vector<std::uint32_t> keys(static_cast<std::size_t>(gatheredColumns * samples));
    const std::size_t byteCount = rgba.size();
    for (std::int64_t blockMinX = 0; blockMinX < width; blockMinX += gatheredColumns) {
        const std::int64_t blockColumns = std::min(gatheredColumns, width - blockMinX);
        for (std::int64_t i = 0; i < samples; ++i) {
            const std::int64_t y = bandMinY + i * rowStep;
            const std::size_t rowOffset = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                           static_cast<std::size_t>(blockMinX)) * 4;
            for (std::int64_t c = 0; c < blockColumns; ++c) {
                const std::size_t offset = rowOffset + static_cast<std::size_t>(c) * 4;
                std::uint32_t key = missingSample;
                if (offset + 3 <= byteCount) {
                    const std::uint8_t* p = rgba.data() + offset;
                    key = (static_cast<std::uint32_t>(p[0] >> 2) << 12) | (static_cast<std::uint32_t>(p[1] >> 2) << 6) |
                          static_cast<std::uint32_t>(p[2] >> 2);
                }
                keys[static_cast<std::size_t>(c * samples + i)] = key;
            }
        }
        for (std::int64_t c = 0; c < blockColumns; ++c) {
            modes[static_cast<std::size_t>(blockMinX + c)] =
                counter.modeOf(keys.data() + c * samples, static_cast<std::size_t>(samples));
        }
    }

    // 2. Dividers: narrow runs of one flat colour that stand out from both neighbours.
    const std::int64_t maximumDividerWidth = std::max<std::int64_t>(2, width * 5 / 1000);
    auto uniform = [&](std::int64_t x) { return modes[static_cast<std::size_t>(x)].present && modes[static_cast<std::size_t>(x)].share >= uniformShare; };
    std::vector<Span> dividers;
    std::int64_t x = 0;
    while (x < width) {
        if (!uniform(x)) {
            ++x;
            continue;
        }
        const ColumnMode& first = modes[static_cast<std::size_t>(x)];
        std::int64_t end = x + 1;
        while (end < width && uniform(end) && modeDistance(modes[static_cast<std::size_t>(end)], first) <= sameColourDistance) ++end;
        if (end >= width) break;
        if (x > 0 && end - x <= maximumDividerWidth &&
            modeDistance(first, modes[static_cast<std::size_t>(x - 1)]) >= dividerContrast &&
            modeDistance(first, modes[static_cast<std::size_t>(end)]) >= dividerContrast) {
            dividers.push_back({x, end});
        }
        x = end;
    }
    if (dividers.empty()) return single;

    // 3. The stretches between dividers, then narrow ones merged into a neighbour.
    std::vector<PaneBounds> panes;
    std::int64_t paneStart = 0;
    for (const Span& divider : dividers) {
        if (divider.lower > paneStart) panes.push_back({paneStart, divider.lower});
        paneStart = divider.upper;
    }
    if (width > paneStart) panes.push_back({paneStart, width});

    const std::int64_t minimumPaneWidth = width / 5;
    while (panes.size() > 1) {
        const auto narrow = std::find_if(panes.begin(), panes.end(), [&](const PaneBounds& pane) {
            return pane.maxX - pane.minX < minimumPaneWidth;
        });
        if (narrow == panes.end()) break;
        if (narrow != panes.begin()) {
            std::prev(narrow)->maxX = narrow->maxX;
        } else {
            std::next(narrow)->minX = narrow->minX;
        }
        panes.erase(narrow);
    }
    return panes.size() > 1 ? panes : single;
}

}  // namespace halvex
