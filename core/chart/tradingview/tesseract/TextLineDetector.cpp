#include "core/chart/tradingview/tesseract/TextLineDetector.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/chart/tradingview/tesseract/TextBoxDetector.h"


// The per-pixel loops are written to vectorise; the project builds at -O2, where GCC does not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("tree-vectorize")
#endif

namespace halvex::tesseract {

namespace {

// Work buffers reused across frames by the thread that runs the detection.
struct DetectionScratch {
    std::vector<std::uint8_t> rowMax;
    std::vector<std::uint8_t> rowMin;
    std::vector<std::uint8_t> edges;
    std::vector<std::uint8_t> work;
    std::vector<std::int32_t> columnRuns;

    void prepare(std::size_t pixels, std::size_t columns) {
        rowMax.resize(pixels);
        rowMin.resize(pixels);
        work.resize(pixels);
        edges.resize(pixels);
        columnRuns.assign(columns, 0);
    }
};

thread_local DetectionScratch scratch;

// Edge mask of the 3 × 3 morphological gradient: 1 where max − min over the neighbourhood reaches
// the threshold.
void computeEdges(const GreyImage& grey, DetectionScratch& work) {
    const std::int64_t width = grey.width;
    const std::int64_t height = grey.height;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* source = grey.row(y);
        std::uint8_t* maxRow = work.rowMax.data() + y * width;
        std::uint8_t* minRow = work.rowMin.data() + y * width;
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint8_t left = source[x > 0 ? x - 1 : x];
            const std::uint8_t centre = source[x];
            const std::uint8_t right = source[x + 1 < width ? x + 1 : x];
            maxRow[x] = std::max({left, centre, right});
            minRow[x] = std::min({left, centre, right});
        }
    }
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t above = y > 0 ? y - 1 : y;
        const std::int64_t below = y + 1 < height ? y + 1 : y;
        const std::uint8_t* max0 = work.rowMax.data() + above * width;
        const std::uint8_t* max1 = work.rowMax.data() + y * width;
        const std::uint8_t* max2 = work.rowMax.data() + below * width;
        const std::uint8_t* min0 = work.rowMin.data() + above * width;
        const std::uint8_t* min1 = work.rowMin.data() + y * width;
        const std::uint8_t* min2 = work.rowMin.data() + below * width;
        std::uint8_t* edgeRow = work.edges.data() + y * width;
        for (std::int64_t x = 0; x < width; ++x) {
            const int high = std::max({max0[x], max1[x], max2[x]});
            const int low = std::min({min0[x], min1[x], min2[x]});
            edgeRow[x] = (high - low) >= TextLineDetector::kEdgeThreshold ? 1 : 0;
        }
    }
}

enum class Extreme { minimum, maximum };

// Minimum or maximum over a horizontal window of `size` pixels (centred), written to `out`.
void horizontalExtreme(const std::uint8_t* in, std::uint8_t* out, std::int64_t width, std::int64_t height, int size,
                       Extreme extreme) {
    const int half = size / 2;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = in + y * width;
        std::uint8_t* target = out + y * width;
        std::copy(row, row + width, target);
        for (int d = -half; d <= half; ++d) {
            if (d == 0) continue;
            const std::int64_t from = std::max<std::int64_t>(0, -d);
            const std::int64_t to = std::min<std::int64_t>(width, width - d);
            if (extreme == Extreme::minimum) {
                for (std::int64_t x = from; x < to; ++x) target[x] = std::min(target[x], row[x + d]);
            } else {
                for (std::int64_t x = from; x < to; ++x) target[x] = std::max(target[x], row[x + d]);
            }
        }
    }
}

// The same over a vertical window; rows are combined whole so the loops vectorise.
void verticalExtreme(const std::uint8_t* in, std::uint8_t* out, std::int64_t width, std::int64_t height, int size,
                     Extreme extreme) {
    const int half = size / 2;
    for (std::int64_t y = 0; y < height; ++y) {
        std::uint8_t* target = out + y * width;
        std::copy(in + y * width, in + (y + 1) * width, target);
        for (int d = -half; d <= half; ++d) {
            const std::int64_t source = y + d;
            if (d == 0 || source < 0 || source >= height) continue;
            const std::uint8_t* row = in + source * width;
            if (extreme == Extreme::minimum) {
                for (std::int64_t x = 0; x < width; ++x) target[x] = std::min(target[x], row[x]);
            } else {
                for (std::int64_t x = 0; x < width; ++x) target[x] = std::max(target[x], row[x]);
            }
        }
    }
}

// Mask of thin strokes in both polarities: pixels brighter than the grey opening (white text on a
// badge) or darker than the grey closing (dark text on a light chart) by the threshold. Filled
// shapes at least `size` pixels across in both directions (candle bodies, badges, buttons) are
// left out, which keeps candles from gluing labels to the series.
void computeStrokes(const GreyImage& grey, DetectionScratch& work, int size) {
    const std::int64_t width = grey.width;
    const std::int64_t height = grey.height;
    const std::uint8_t* source = grey.pixels.data();
    std::uint8_t* a = work.rowMax.data();
    std::uint8_t* b = work.rowMin.data();
    std::uint8_t* c = work.work.data();
    std::uint8_t* mask = work.edges.data();
    horizontalExtreme(source, a, width, height, size, Extreme::minimum);
    verticalExtreme(a, b, width, height, size, Extreme::minimum);
    horizontalExtreme(b, a, width, height, size, Extreme::maximum);
    verticalExtreme(a, b, width, height, size, Extreme::maximum);  // b = opening
    horizontalExtreme(source, a, width, height, size, Extreme::maximum);
    verticalExtreme(a, c, width, height, size, Extreme::maximum);
    horizontalExtreme(c, a, width, height, size, Extreme::minimum);
    verticalExtreme(a, c, width, height, size, Extreme::minimum);  // c = closing
    const std::size_t count = static_cast<std::size_t>(width * height);
    for (std::size_t i = 0; i < count; ++i) {
        const int bright = source[i] - b[i];
        const int dark = c[i] - source[i];
        mask[i] = (bright >= TextLineDetector::kEdgeThreshold || dark >= TextLineDetector::kEdgeThreshold) ? 1 : 0;
    }
}

// Clears runs, after the close, that are long but only one or two rows thick: dashed and dotted
// lines that the close joined. A minus sign or a glyph bar never stands alone that way once the
// close has joined it to its neighbours.
void clearThinLongRuns(std::uint8_t* mask, std::uint8_t* copy, std::int64_t width, std::int64_t height, std::int64_t limit,
                       std::int64_t reach) {
    std::copy(mask, mask + width * height, copy);
    auto set = [&](std::int64_t x, std::int64_t y) { return y >= 0 && y < height && copy[y * width + x] != 0; };
    for (std::int64_t y = 0; y < height; ++y) {
        std::uint8_t* row = mask + y * width;
        for (std::int64_t x = 0; x < width;) {
            if (row[x] == 0) {
                ++x;
                continue;
            }
            const std::int64_t start = x;
            std::int64_t thin = 0;
            for (; x < width && row[x] != 0; ++x) thin += (!set(x, y - reach) && !set(x, y + reach)) ? 1 : 0;
            if (x - start > limit && thin * 10 >= (x - start) * 7) std::fill(row + start, row + x, std::uint8_t{0});
        }
    }
}

// Clears vertical runs of the mask that are longer than `maxRun` (keepLong false) or shorter than
// `minRun` (keepLong true), walking rows so that memory is read in order.
void filterColumnRuns(std::uint8_t* mask, std::int64_t width, std::int64_t height, std::int32_t limit,
                      bool clearShort, std::vector<std::int32_t>& runs) {
    std::fill(runs.begin(), runs.end(), 0);
    for (std::int64_t y = 0; y <= height; ++y) {
        std::uint8_t* row = y < height ? mask + y * width : nullptr;
        for (std::int64_t x = 0; x < width; ++x) {
            if (row != nullptr && row[x] != 0) {
                ++runs[static_cast<std::size_t>(x)];
                continue;
            }
            const std::int32_t run = runs[static_cast<std::size_t>(x)];
            if (run == 0) continue;
            if (clearShort ? run < limit : run > limit) {
                for (std::int64_t r = y - run; r < y; ++r) mask[r * width + x] = 0;
            }
            runs[static_cast<std::size_t>(x)] = 0;
        }
    }
}

// Fills gaps of at most `gap` pixels between edge runs of each row.
void closeRows(std::uint8_t* mask, std::int64_t width, std::int64_t height, std::int64_t gap) {
    for (std::int64_t y = 0; y < height; ++y) {
        std::uint8_t* row = mask + y * width;
        std::int64_t lastSet = -1;
        for (std::int64_t x = 0; x < width; ++x) {
            if (row[x] == 0) continue;
            if (lastSet >= 0 && x - lastSet - 1 <= gap && x - lastSet > 1) {
                std::fill(row + lastSet + 1, row + x, std::uint8_t{1});
            }
            lastSet = x;
        }
    }
}

struct Run {
    std::int32_t x0;
    std::int32_t x1;  // exclusive
    std::int32_t y;
};

std::int32_t findRoot(std::vector<std::int32_t>& parent, std::int32_t i) {
    while (parent[static_cast<std::size_t>(i)] != i) {
        parent[static_cast<std::size_t>(i)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
        i = parent[static_cast<std::size_t>(i)];
    }
    return i;
}

// Bounding boxes of the 4-connected components of the mask, found over row runs.
std::vector<PixelBox> components(const std::uint8_t* mask, std::int64_t width, std::int64_t height) {
    std::vector<Run> runs;
    runs.reserve(4096);
    std::vector<std::int32_t> parent;
    parent.reserve(4096);
    std::size_t previousStart = 0;
    std::size_t previousEnd = 0;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = mask + y * width;
        const std::size_t rowStart = runs.size();
        for (std::int64_t x = 0; x < width;) {
            if (row[x] == 0) {
                ++x;
                continue;
            }
            const std::int64_t start = x;
            while (x < width && row[x] != 0) ++x;
            runs.push_back({static_cast<std::int32_t>(start), static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
            parent.push_back(static_cast<std::int32_t>(runs.size() - 1));
        }
        // Join with the overlapping runs of the row above (both lists are sorted by x).
        std::size_t p = previousStart;
        for (std::size_t i = rowStart; i < runs.size(); ++i) {
            while (p < previousEnd && runs[p].x1 <= runs[i].x0) ++p;
            for (std::size_t q = p; q < previousEnd && runs[q].x0 < runs[i].x1; ++q) {
                const std::int32_t a = findRoot(parent, static_cast<std::int32_t>(i));
                const std::int32_t b = findRoot(parent, static_cast<std::int32_t>(q));
                if (a != b) parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
            }
        }
        previousStart = rowStart;
        previousEnd = runs.size();
    }
    std::vector<std::int32_t> boxOfRoot(runs.size(), -1);
    std::vector<PixelBox> boxes;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::int32_t root = findRoot(parent, static_cast<std::int32_t>(i));
        std::int32_t& index = boxOfRoot[static_cast<std::size_t>(root)];
        const Run& run = runs[i];
        if (index < 0) {
            index = static_cast<std::int32_t>(boxes.size());
            boxes.push_back({run.x0, run.y, run.x1, run.y + 1});
            continue;
        }
        PixelBox& box = boxes[static_cast<std::size_t>(index)];
        box.minX = std::min<std::int64_t>(box.minX, run.x0);
        box.maxX = std::max<std::int64_t>(box.maxX, run.x1);
        box.maxY = std::max<std::int64_t>(box.maxY, run.y + 1);
    }
    return boxes;
}

// Text of one line: similar heights, mostly overlapping rows. Candle clusters beside a label are
// rarely of the label's height, so they stay apart.
bool sitOnOneRow(const PixelBox& a, const PixelBox& b) {
    const std::int64_t overlap = std::min(a.maxY, b.maxY) - std::max(a.minY, b.minY);
    const std::int64_t lower = std::min(a.height(), b.height());
    const std::int64_t higher = std::max(a.height(), b.height());
    return overlap * 10 >= lower * 7 && higher * 10 <= lower * 16;
}

// Merges boxes that share a row and are separated by less than a fraction of their height, so a
// badge edge, the digit inside it and the amount beside it become one label.
std::vector<PixelBox> mergeAlongRows(std::vector<PixelBox> boxes, double gapInHeights) {
    std::sort(boxes.begin(), boxes.end(), [](const PixelBox& a, const PixelBox& b) { return a.minX < b.minX; });
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                PixelBox& a = boxes[i];
                const PixelBox& b = boxes[j];
                const double allowed = gapInHeights * static_cast<double>(std::max(a.height(), b.height()));
                if (static_cast<double>(b.minX - a.maxX) > allowed) break;  // sorted by minX
                if (!sitOnOneRow(a, b)) continue;
                a = {std::min(a.minX, b.minX), std::min(a.minY, b.minY), std::max(a.maxX, b.maxX), std::max(a.maxY, b.maxY)};
                boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
                --j;
            }
        }
    }
    return boxes;
}

// Splits a component into the row bands where the mask is dense. A label that touches candles or
// a legend above it is one component, but only the label's own rows are mostly filled after the
// horizontal close; the candle rows are sparse.
void splitIntoDenseBands(const std::uint8_t* mask, std::int64_t width, const PixelBox& box, std::int64_t minimumHeight,
                         std::vector<PixelBox>& out) {
    const std::int64_t boxWidth = box.width();
    std::int64_t start = -1;
    std::int64_t minX = box.maxX;
    std::int64_t maxX = box.minX;
    auto finish = [&](std::int64_t end) {
        if (start >= 0 && end - start >= minimumHeight / 2 && maxX > minX) out.push_back({minX, start, maxX, end});
        start = -1;
        minX = box.maxX;
        maxX = box.minX;
    };
    // One sparse row inside a word (the thin middle of a "2" beside a "1") does not split it;
    // candles above a label leave a longer sparse stretch.
    std::int64_t sparseSince = -1;
    for (std::int64_t y = box.minY; y < box.maxY; ++y) {
        const std::uint8_t* row = mask + y * width;
        std::int64_t filled = 0;
        std::int64_t first = box.maxX;
        std::int64_t last = box.minX;
        for (std::int64_t x = box.minX; x < box.maxX; ++x) {
            if (row[x] == 0) continue;
            ++filled;
            first = std::min(first, x);
            last = x + 1;
        }
        if (filled * 4 >= boxWidth) {
            if (start < 0) start = y;
            sparseSince = -1;
            minX = std::min(minX, first);
            maxX = std::max(maxX, last);
        } else if (start >= 0) {
            if (sparseSince < 0) sparseSince = y;
            if (y - sparseSince + 1 >= 2) finish(sparseSince);
        }
    }
    finish(sparseSince >= 0 ? sparseSince : box.maxY);
}

void sortInReadingOrder(std::vector<PixelBox>& boxes) {
    std::sort(boxes.begin(), boxes.end(), [](const PixelBox& a, const PixelBox& b) {
        if (a.minY != b.minY) return a.minY < b.minY;
        return a.minX < b.minX;
    });
}

}  // namespace

bool TextLineDetector::isSmallImage(std::int64_t width, std::int64_t height) {
    return height <= 600 && width <= 6000;
}

std::vector<PixelBox> TextLineDetector::frameRegions(const GreyImage& grey) {
    const std::int64_t width = grey.width;
    const std::int64_t height = grey.height;
    if (width < 3 || height < 3) return {};
    DetectionScratch& work = scratch;
    work.prepare(static_cast<std::size_t>(width * height), static_cast<std::size_t>(width));

    // Sizes follow the screen's pixel density, which the frame height approximates.
    const double density = std::clamp(static_cast<double>(height) / 1080.0, 1.0, 2.0);
    const auto longestStroke = static_cast<std::int32_t>(std::lround(24 * density));
    const auto wordGap = static_cast<std::int64_t>(std::lround(4 * density));
    const std::int64_t minimumHeight = 7;  // text below 7 rows is not legible for the engine anyway
    const std::int64_t maximumHeight = std::max<std::int64_t>(minimumHeight + 1, height / 10);

    const int strokeWindow = static_cast<int>(std::lround(5 * density)) | 1;
    const auto longestRowRun = static_cast<std::int64_t>(std::lround(30 * density));
    computeStrokes(grey, work, strokeWindow);
    std::uint8_t* mask = work.edges.data();
    // Text in a label's box is read inside the box; the frame pass sees none of it, nor the strokes
    // just outside that the close would join to it.
    const std::vector<PixelBox> textBoxes = TextBoxDetector::boxes(grey, density);
    for (const PixelBox& box : textBoxes) {
        const std::int64_t minX = std::max<std::int64_t>(0, box.minX - wordGap - 1);
        const std::int64_t maxX = std::min(width, box.maxX + wordGap + 1);
        for (std::int64_t y = std::max<std::int64_t>(0, box.minY - 1); y < std::min(height, box.maxY + 1); ++y) {
            std::fill(mask + y * width + minX, mask + y * width + maxX, std::uint8_t{0});
        }
    }
    const std::int64_t lineReach = density > 1.3 ? 3 : 2;
    clearThinLongRuns(mask, work.work.data(), width, height, longestRowRun, lineReach);
    filterColumnRuns(mask, width, height, longestStroke, false, work.columnRuns);
    closeRows(mask, width, height, wordGap);
    clearThinLongRuns(mask, work.work.data(), width, height, longestRowRun, lineReach);

    std::vector<PixelBox> boxes;
    for (const PixelBox& component : components(mask, width, height)) {
        if (component.height() < 4) continue;
        splitIntoDenseBands(mask, width, component, minimumHeight, boxes);
    }
    std::erase_if(boxes, [&](const PixelBox& box) { return box.height() < 4 || box.height() > maximumHeight; });
    boxes = mergeAlongRows(std::move(boxes), 2.4);
    std::erase_if(boxes, [&](const PixelBox& box) {
        return box.height() < minimumHeight || box.height() > maximumHeight || box.width() * 10 < box.height() * 8 ||
               box.width() * 10 > width * 8;
    });
    // Room above and below the ink lets the background estimate see the badge or box around it.
    for (PixelBox& box : boxes) {
        const std::int64_t margin = std::max<std::int64_t>(2, box.height() * 35 / 100);
        box = {std::max<std::int64_t>(0, box.minX - 2), std::max<std::int64_t>(0, box.minY - margin),
               std::min(width, box.maxX + 2), std::min(height, box.maxY + margin)};
    }
    boxes.insert(boxes.end(), textBoxes.begin(), textBoxes.end());
    sortInReadingOrder(boxes);
    return boxes;
}

std::vector<PixelBox> TextLineDetector::bandRegions(const GreyImage& grey) {
    const std::int64_t width = grey.width;
    const std::int64_t height = grey.height;
    if (width < 3 || height < 3) return {};
    DetectionScratch& work = scratch;
    work.prepare(static_cast<std::size_t>(width * height), static_cast<std::size_t>(width));
    computeEdges(grey, work);
    std::vector<PixelBox> bands;
    std::int64_t bandStart = -1;
    for (std::int64_t y = 0; y <= height; ++y) {
        bool any = false;
        if (y < height) {
            const std::uint8_t* row = work.edges.data() + y * width;
            any = std::any_of(row, row + width, [](std::uint8_t v) { return v != 0; });
        }
        if (any && bandStart < 0) bandStart = y;
        if (!any && bandStart >= 0) {
            if (y - bandStart >= 4) bands.push_back({0, bandStart, width, y});
            bandStart = -1;
        }
    }
    for (PixelBox& band : bands) {
        std::int64_t minX = width;
        std::int64_t maxX = 0;
        for (std::int64_t y = band.minY; y < band.maxY; ++y) {
            const std::uint8_t* row = work.edges.data() + y * width;
            for (std::int64_t x = 0; x < width; ++x) {
                if (row[x] == 0) continue;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x + 1);
            }
        }
        band.minX = minX;
        band.maxX = std::max(maxX, minX + 1);
    }
    return bands;
}

}  // namespace halvex::tesseract
