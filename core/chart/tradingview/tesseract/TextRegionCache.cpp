#include "core/chart/tradingview/tesseract/TextRegionCache.h"

#include <algorithm>

namespace halvex::tesseract {

namespace {

constexpr std::uint64_t kOffset = 1469598103934665603ull;
constexpr std::uint64_t kPrime = 1099511628211ull;

std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        hash ^= (value >> (i * 8)) & 0xFF;
        hash *= kPrime;
    }
    return hash;
}

}  // namespace

std::uint64_t TextRegionCache::keyOf(const GreyImage& grey, const PixelBox& region, std::uint64_t settingsKey) {
    std::uint64_t hash = mix(mix(mix(kOffset, settingsKey), static_cast<std::uint64_t>(region.width())),
                             static_cast<std::uint64_t>(region.height()));
    for (std::int64_t y = region.minY; y < region.maxY; ++y) {
        const std::uint8_t* row = grey.row(y) + region.minX;
        // Eight pixels per step: FNV over whole words keeps hashing far below recognition cost.
        std::int64_t x = 0;
        for (; x + 8 <= region.width(); x += 8) {
            std::uint64_t word = 0;
            for (int i = 0; i < 8; ++i) word |= static_cast<std::uint64_t>(row[x + i]) << (i * 8);
            hash = (hash ^ word) * kPrime;
            hash ^= hash >> 29;
        }
        for (; x < region.width(); ++x) hash = (hash ^ row[x]) * kPrime;
    }
    return hash;
}

std::optional<std::vector<TextRegionCache::Line>> TextRegionCache::find(std::uint64_t key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        ++misses_;
        return std::nullopt;
    }
    ++hits_;
    it->second.lastUse = ++clock_;
    return it->second.lines;
}

void TextRegionCache::store(std::uint64_t key, std::vector<Line> lines) {
    std::lock_guard lock(mutex_);
    entries_[key] = {std::move(lines), ++clock_};
    if (entries_.size() > capacity_) evictLocked();
}

void TextRegionCache::evictLocked() {
    // Drop the least recently used half at once, so eviction cost is paid rarely.
    std::vector<std::uint64_t> uses;
    uses.reserve(entries_.size());
    for (const auto& [key, entry] : entries_) uses.push_back(entry.lastUse);
    auto middle = uses.begin() + static_cast<std::ptrdiff_t>(uses.size() / 2);
    std::nth_element(uses.begin(), middle, uses.end());
    const std::uint64_t cutoff = *middle;
    std::erase_if(entries_, [&](const auto& item) { return item.second.lastUse < cutoff; });
}

std::int64_t TextRegionCache::hits() const {
    std::lock_guard lock(mutex_);
    return hits_;
}

std::int64_t TextRegionCache::misses() const {
    std::lock_guard lock(mutex_);
    return misses_;
}

std::size_t TextRegionCache::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace halvex::tesseract
