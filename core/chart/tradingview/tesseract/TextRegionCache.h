#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/chart/tradingview/tesseract/GreyImage.h"

namespace halvex::tesseract {

// Recognised lines of one text region, remembered by the region's pixels so that text that did not
// change since the last scan (axis prices, toolbar, legend) is not read again. Thread-safe.
class TextRegionCache {
public:
    // A line with its box relative to the region's top left corner.
    struct Line {
        PixelBox box;
        std::string text;
        double confidence = 0;

        bool operator==(const Line&) const = default;
    };

    explicit TextRegionCache(std::size_t capacity = 4096) : capacity_(capacity) {}

    // The key of `region` of `grey` read with `settingsKey`: a 64-bit hash of its size and pixels.
    static std::uint64_t keyOf(const GreyImage& grey, const PixelBox& region, std::uint64_t settingsKey);

    std::optional<std::vector<Line>> find(std::uint64_t key);
    void store(std::uint64_t key, std::vector<Line> lines);

    std::int64_t hits() const;
    std::int64_t misses() const;
    std::size_t size() const;

private:
    struct Entry {
        std::vector<Line> lines;
        std::uint64_t lastUse = 0;
    };

    void evictLocked();

    mutable std::mutex mutex_;
    std::size_t capacity_;
    std::unordered_map<std::uint64_t, Entry> entries_;
    std::uint64_t clock_ = 0;
    std::int64_t hits_ = 0;
    std::int64_t misses_ = 0;
};

}  // namespace halvex::tesseract
