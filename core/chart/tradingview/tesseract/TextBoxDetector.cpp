#include "core/chart/tradingview/tesseract/TextBoxDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace halvex::tesseract {

namespace {

constexpr int kSameGrey = 8;       // pixels of one outline or fill differ by less than this
constexpr int kOutlineGrey = 12;   // an edge, a side and the other edge of one box
constexpr int kEdgeContrast = 24;  // an edge differs from the row beyond it by at least this
constexpr std::int64_t kShortestEdge = 28;
constexpr std::int64_t kEndSlack = 3;

// A row run of one grey that differs from the row beyond it (above for a top edge, below for a
// bottom edge) over most of its length; candles touching a label break that only in places.
struct EdgeRun {
    std::int64_t y;
    std::int64_t minX;
    std::int64_t maxX;  // exclusive
    int grey;
};

struct EdgeRuns {
    std::vector<EdgeRun> tops;
    std::vector<EdgeRun> bottoms;
};

// Both kinds in one pass: a run of one grey is found once and judged against both neighbours.
EdgeRuns edgeRuns(const GreyImage& image) {
    EdgeRuns runs;
    const std::int64_t width = image.width;
    for (std::int64_t y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.row(y);
        const std::uint8_t* above = image.row(y > 0 ? y - 1 : y);
        const std::uint8_t* below = image.row(y + 1 < image.height ? y + 1 : y);
        for (std::int64_t x = 0; x < width;) {
            const int grey = row[x];
            const std::int64_t start = x;
            std::int64_t edgesAbove = 0;
            std::int64_t edgesBelow = 0;
            while (x < width && std::abs(row[x] - grey) < kSameGrey) {
                edgesAbove += std::abs(row[x] - above[x]) >= kEdgeContrast ? 1 : 0;
                edgesBelow += std::abs(row[x] - below[x]) >= kEdgeContrast ? 1 : 0;
                ++x;
            }
            const std::int64_t length = x - start;
            if (length < kShortestEdge) continue;
            if (edgesAbove * 10 >= length * 6) runs.tops.push_back({y, start, x, grey});
            if (edgesBelow * 10 >= length * 6) runs.bottoms.push_back({y, start, x, grey});
        }
    }
    return runs;
}

bool sideMatches(const GreyImage& image, std::int64_t x, std::int64_t top, std::int64_t bottom, int grey) {
    std::int64_t matching = 0;
    for (std::int64_t y = top; y < bottom; ++y) matching += std::abs(image.at(x, y) - grey) < kOutlineGrey ? 1 : 0;
    return matching * 4 >= (bottom - top) * 3;
}

// A row inside a box, clear of its text: a few long runs of fill (cells of the label and the
// separators between them), not the many short runs of candles between two grid lines.
bool rowIsPlainFill(const GreyImage& image, std::int64_t y, std::int64_t minX, std::int64_t maxX) {
    const std::uint8_t* row = image.row(y);
    int runCount = 0;
    std::int64_t covered = 0;
    for (std::int64_t x = minX; x < maxX;) {
        const int grey = row[x];
        const std::int64_t start = x;
        while (x < maxX && std::abs(row[x] - grey) < kSameGrey) ++x;
        ++runCount;
        if (x - start >= 3) covered += x - start;
    }
    return runCount <= 10 && covered * 100 >= (maxX - minX) * 85;
}

bool contains(const PixelBox& outer, const PixelBox& inner) {
    return inner.minX >= outer.minX - 2 && inner.maxX <= outer.maxX + 2 && inner.minY >= outer.minY - 2 &&
           inner.maxY <= outer.maxY + 2;
}

}  // namespace

std::vector<PixelBox> TextBoxDetector::boxes(const GreyImage& grey, double density) {
    std::vector<PixelBox> found;
    if (grey.width < kShortestEdge || grey.height < 12) return found;
    const std::int64_t lowest = 12;
    const auto highest = static_cast<std::int64_t>(std::lround(56 * density));
    const auto widest = static_cast<std::int64_t>(std::lround(700 * density));

    const auto [tops, bottoms] = edgeRuns(grey);
    // Bottom edges by row, for the search below each top edge.
    std::vector<std::size_t> firstBottomOfRow(static_cast<std::size_t>(grey.height + 1), bottoms.size());
    for (std::size_t i = bottoms.size(); i-- > 0;) firstBottomOfRow[static_cast<std::size_t>(bottoms[i].y)] = i;
    for (std::int64_t y = grey.height - 1; y >= 0; --y) {
        auto& first = firstBottomOfRow[static_cast<std::size_t>(y)];
        first = std::min(first, firstBottomOfRow[static_cast<std::size_t>(y + 1)]);
    }

    for (const EdgeRun& top : tops) {
        const std::int64_t firstRow = top.y + lowest - 1;
        if (firstRow >= grey.height) continue;
        for (std::size_t i = firstBottomOfRow[static_cast<std::size_t>(firstRow)];
             i < bottoms.size() && bottoms[i].y <= top.y + highest - 1; ++i) {
            const EdgeRun& bottom = bottoms[i];
            if (std::abs(bottom.grey - top.grey) >= kOutlineGrey || std::abs(bottom.minX - top.minX) > kEndSlack ||
                std::abs(bottom.maxX - top.maxX) > kEndSlack) {
                continue;
            }
            const PixelBox box{std::max(top.minX, bottom.minX), top.y, std::min(top.maxX, bottom.maxX), bottom.y + 1};
            const std::int64_t height = box.height();
            if (box.width() < 2 * height || box.width() > 20 * height || box.width() > widest) continue;
            if (!sideMatches(grey, box.minX, box.minY, box.maxY, top.grey) ||
                !sideMatches(grey, box.maxX - 1, box.minY, box.maxY, top.grey)) {
                continue;
            }
            const std::int64_t inset = std::max<std::int64_t>(2, height * 12 / 100);
            if (!rowIsPlainFill(grey, box.minY + inset, box.minX + 1, box.maxX - 1) ||
                !rowIsPlainFill(grey, box.maxY - 1 - inset, box.minX + 1, box.maxX - 1)) {
                continue;
            }
            found.push_back(box);
            break;  // the nearest bottom edge closes this box
        }
    }
    // Largest first, so a cell inside a label gives way to the label.
    std::sort(found.begin(), found.end(), [](const PixelBox& a, const PixelBox& b) {
        return a.width() * a.height() > b.width() * b.height();
    });
    std::vector<PixelBox> kept;
    for (const PixelBox& box : found) {
        if (std::none_of(kept.begin(), kept.end(), [&](const PixelBox& outer) { return contains(outer, box); })) {
            kept.push_back(box);
        }
    }
    return kept;
}

}  // namespace halvex::tesseract
