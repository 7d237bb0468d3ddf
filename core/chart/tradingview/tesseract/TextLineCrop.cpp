#include "core/chart/tradingview/tesseract/TextLineCrop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace halvex::tesseract {

namespace {

constexpr std::uint8_t kInk = 128;         // normalised values below this count as ink
constexpr int kMinimumContrast = 28;       // a region whose ink differs less than this is blank
constexpr double kTargetCoreHeight = 26;   // the rows most ink lies in: digits, capitals or the x-height
constexpr std::int64_t kCanvasMargin = 10;
constexpr std::int64_t kMaximumLineWidth = 4000;

std::uint8_t medianOf(const std::array<std::int32_t, 256>& histogram, std::int32_t count) {
    const std::int32_t half = (count + 1) / 2;
    std::int32_t seen = 0;
    for (int value = 0; value < 256; ++value) {
        seen += histogram[static_cast<std::size_t>(value)];
        if (seen >= half) return static_cast<std::uint8_t>(value);
    }
    return 255;
}

// The rows that hold most of a band's ink: the digit and capital height, or the x-height of
// lower-case text; outlines and stray strokes that make the band taller barely count. Returns the
// first row and the number of rows.
std::pair<std::int64_t, std::int64_t> coreRows(const GreyImage& image, const PixelBox& band) {
    std::vector<std::int64_t> counts;
    std::int64_t most = 0;
    for (std::int64_t y = band.minY; y < band.maxY; ++y) {
        const std::uint8_t* row = image.row(y);
        const auto count = static_cast<std::int64_t>(std::count_if(row + band.minX, row + band.maxX, [](std::uint8_t v) { return v < kInk; }));
        counts.push_back(count);
        most = std::max(most, count);
    }
    // The longest stretch of full rows: specks of a candle above the text are full rows too, but
    // apart from the text.
    std::int64_t best = 0;
    std::int64_t bestStart = band.minY;
    std::int64_t run = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        run = counts[i] * 4 >= most ? run + 1 : 0;
        if (run > best) {
            best = run;
            bestStart = band.minY + static_cast<std::int64_t>(i) + 1 - run;
        }
    }
    return {bestStart, std::max<std::int64_t>(3, best)};
}

std::int64_t coreHeight(const GreyImage& image, const PixelBox& band) { return coreRows(image, band).second; }

// Whitens box outlines: dark runs at most a few pixels thick that are longer than any glyph
// stroke of this text (rows longer than 1.5 and columns taller than 1.6 core heights). The
// outlines of a label's cells and of hover buttons otherwise read as brackets and bars and push
// the digits out of the line. Thin columns that stick out of the text's core rows on both sides
// are separators too.
void whitenBorders(GreyImage& image) {
    const std::int64_t width = image.width;
    const std::int64_t height = image.height;
    const auto index = [&](std::int64_t x, std::int64_t y) { return static_cast<std::size_t>(y * width + x); };
    std::vector<std::uint8_t> dark(static_cast<std::size_t>(width * height));
    for (std::size_t i = 0; i < dark.size(); ++i) dark[i] = image.pixels[i] < kInk ? 1 : 0;
    // Thickness of the dark run through each pixel, across rows (vertical extent) and along them.
    std::vector<std::int32_t> across(dark.size(), 0);
    std::vector<std::int32_t> along(dark.size(), 0);
    for (std::int64_t x = 0; x < width; ++x) {
        for (std::int64_t y = 0; y < height;) {
            if (dark[index(x, y)] == 0) {
                ++y;
                continue;
            }
            const std::int64_t start = y;
            while (y < height && dark[index(x, y)] != 0) ++y;
            for (std::int64_t i = start; i < y; ++i) across[index(x, i)] = static_cast<std::int32_t>(y - start);
        }
    }
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width;) {
            if (dark[index(x, y)] == 0) {
                ++x;
                continue;
            }
            const std::int64_t start = x;
            while (x < width && dark[index(x, y)] != 0) ++x;
            for (std::int64_t i = start; i < x; ++i) along[index(i, y)] = static_cast<std::int32_t>(x - start);
        }
    }
    // The core height is measured without thin horizontal rules, which would otherwise make the
    // outline's top and bottom the fullest rows. (Vertical outline sides add only a pixel or two to
    // each row.)
    GreyImage withoutRules = image;
    for (std::size_t i = 0; i < dark.size(); ++i) {
        if (dark[i] != 0 && along[i] >= 8 && across[i] <= 3) withoutRules.pixels[i] = 255;
    }
    const auto [coreTop, core] = coreRows(withoutRules, {0, 0, width, height});
    const std::int64_t overhang = std::max<std::int64_t>(2, core / 4);
    const std::int32_t thick = static_cast<std::int32_t>(std::max<std::int64_t>(4, core / 4));
    std::vector<std::uint8_t> clear(dark.size(), 0);
    const std::int64_t longRow = std::max<std::int64_t>(8, core * 3 / 2);
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width;) {
            if (dark[index(x, y)] == 0 || across[index(x, y)] > thick) {
                ++x;
                continue;
            }
            const std::int64_t start = x;
            while (x < width && dark[index(x, y)] != 0 && across[index(x, y)] <= thick) ++x;
            if (x - start >= longRow) {
                for (std::int64_t i = start; i < x; ++i) clear[index(i, y)] = 1;
            }
        }
    }
    const std::int64_t longColumn = std::max<std::int64_t>(6, core * 16 / 10);
    for (std::int64_t x = 0; x < width; ++x) {
        for (std::int64_t y = 0; y < height;) {
            if (dark[index(x, y)] == 0 || along[index(x, y)] > thick) {
                ++y;
                continue;
            }
            const std::int64_t start = y;
            while (y < height && dark[index(x, y)] != 0 && along[index(x, y)] <= thick) ++y;
            // Long, or reaching clearly above and below the text: cell separators and box sides.
            if (y - start >= longColumn || (start <= coreTop - overhang && y >= coreTop + core + overhang)) {
                for (std::int64_t i = start; i < y; ++i) clear[index(x, i)] = 1;
            }
        }
    }
    for (std::size_t i = 0; i < clear.size(); ++i) {
        if (clear[i] != 0) image.pixels[i] = 255;
    }
}

}  // namespace

GreyImage TextLineCrop::normalizedRegion(const GreyImage& grey, const PixelBox& region) {
    GreyImage out;
    out.width = region.width();
    out.height = region.height();
    out.pixels.assign(static_cast<std::size_t>(out.width * out.height), 255);
    if (out.width <= 0 || out.height <= 0) return out;

    const std::int64_t radius = std::max<std::int64_t>(3, region.height() / 2);
    std::array<std::int32_t, 256> histogram{};
    std::int32_t count = 0;
    auto addColumn = [&](std::int64_t x, int delta) {
        for (std::int64_t y = region.minY; y < region.maxY; ++y) histogram[grey.at(x, y)] += delta;
        count += delta * static_cast<std::int32_t>(region.height());
    };
    std::int64_t windowStart = region.minX;
    std::int64_t windowEnd = region.minX;  // exclusive
    std::vector<std::uint8_t> background(static_cast<std::size_t>(out.width));
    for (std::int64_t x = region.minX; x < region.maxX; ++x) {
        const std::int64_t wantStart = std::max(region.minX, x - radius);
        const std::int64_t wantEnd = std::min(region.maxX, x + radius + 1);
        while (windowEnd < wantEnd) addColumn(windowEnd++, 1);
        while (windowStart < wantStart) addColumn(windowStart++, -1);
        background[static_cast<std::size_t>(x - region.minX)] = medianOf(histogram, count);
    }

    // Contrast is judged locally: green digits on a dark box are much fainter than white digits on
    // the red badge beside them, and one stretch for both would break the fainter strokes.
    std::vector<int> columnContrast(static_cast<std::size_t>(out.width), 0);
    int contrast = 0;
    for (std::int64_t y = 0; y < out.height; ++y) {
        const std::uint8_t* source = grey.row(region.minY + y) + region.minX;
        for (std::int64_t x = 0; x < out.width; ++x) {
            const int distance = std::abs(source[x] - background[static_cast<std::size_t>(x)]);
            int& column = columnContrast[static_cast<std::size_t>(x)];
            column = std::max(column, distance);
            contrast = std::max(contrast, distance);
        }
    }
    if (contrast < kMinimumContrast) return out;
    std::vector<int> fullInk(static_cast<std::size_t>(out.width), 1);
    for (std::int64_t x = 0; x < out.width; ++x) {
        int local = 0;
        for (std::int64_t w = std::max<std::int64_t>(0, x - 3 * radius); w < std::min(out.width, x + 3 * radius + 1); ++w) {
            local = std::max(local, columnContrast[static_cast<std::size_t>(w)]);
        }
        // Anti-aliased strokes rarely reach the full contrast; stretching makes them solid.
        fullInk[static_cast<std::size_t>(x)] = std::max(kMinimumContrast, local * 3 / 4);
    }
    for (std::int64_t y = 0; y < out.height; ++y) {
        const std::uint8_t* source = grey.row(region.minY + y) + region.minX;
        std::uint8_t* target = out.row(y);
        for (std::int64_t x = 0; x < out.width; ++x) {
            const int distance = std::abs(source[x] - background[static_cast<std::size_t>(x)]);
            target[x] = static_cast<std::uint8_t>(255 - std::min(255, distance * 255 / fullInk[static_cast<std::size_t>(x)]));
        }
    }
    whitenBorders(out);
    return out;
}

std::vector<TextLineCrop> TextLineCrop::linesOf(const GreyImage& grey, const PixelBox& region) {
    const GreyImage normalized = normalizedRegion(grey, region);
    std::vector<PixelBox> bands;
    std::int64_t start = -1;
    for (std::int64_t y = 0; y <= normalized.height; ++y) {
        bool ink = false;
        if (y < normalized.height) {
            const std::uint8_t* row = normalized.row(y);
            ink = std::any_of(row, row + normalized.width, [](std::uint8_t v) { return v < kInk; });
        }
        if (ink && start < 0) start = y;
        if (!ink && start >= 0) {
            bands.push_back({0, start, normalized.width, y});
            start = -1;
        }
    }
    std::int64_t tallest = 0;
    for (const PixelBox& band : bands) tallest = std::max(tallest, band.height());
    std::vector<TextLineCrop> lines;
    for (PixelBox band : bands) {
        // Specks above or below a line (a stray outline pixel, an accent) are not lines of their own.
        if (band.height() < 3 || band.height() * 10 < tallest * 35 / 10) continue;
        std::int64_t minX = normalized.width;
        std::int64_t maxX = 0;
        for (std::int64_t y = band.minY; y < band.maxY; ++y) {
            const std::uint8_t* row = normalized.row(y);
            for (std::int64_t x = 0; x < normalized.width; ++x) {
                if (row[x] >= kInk) continue;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x + 1);
            }
        }
        if (maxX <= minX) continue;
        band.minX = std::max<std::int64_t>(0, minX - 1);
        band.maxX = std::min(normalized.width, maxX + 1);
        band.minY = std::max<std::int64_t>(0, band.minY - 1);
        band.maxY = std::min(normalized.height, band.maxY + 1);

        const double scale = std::clamp(kTargetCoreHeight / static_cast<double>(coreHeight(normalized, band)), 0.35, 6.0);
        const auto scaledWidth = std::min<std::int64_t>(kMaximumLineWidth, std::lround(static_cast<double>(band.width()) * scale));
        const auto scaledHeight = static_cast<std::int64_t>(std::lround(static_cast<double>(band.height()) * scale));
        TextLineCrop line;
        line.box = {region.minX + band.minX, region.minY + band.minY, region.minX + band.maxX, region.minY + band.maxY};
        line.image = normalized.cropped(band).resized(scaledWidth, scaledHeight).padded(kCanvasMargin);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace halvex::tesseract
