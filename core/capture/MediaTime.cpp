#include "core/capture/MediaTime.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace halvex {
namespace {

// Wide enough for the product of a 64-bit value and a 32-bit timescale.
__extension__ typedef __int128 Wide;

constexpr std::int64_t maxTimescale = std::numeric_limits<std::int32_t>::max();

// a * b / c rounded half away from zero, saturating instead of overflowing.
std::int64_t scaled(std::int64_t value, std::int64_t multiplier, std::int64_t divisor) {
    const Wide product = static_cast<Wide>(value) * multiplier;
    const Wide half = divisor / 2;
    const Wide rounded = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    if (rounded > std::numeric_limits<std::int64_t>::max()) return std::numeric_limits<std::int64_t>::max();
    if (rounded < std::numeric_limits<std::int64_t>::min()) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(rounded);
}

}  // namespace

MediaTime MediaTime::make(std::int64_t value, std::int32_t timescale) {
    if (timescale <= 0) return invalid();
    return MediaTime{value, timescale, Kind::numeric};
}

MediaTime MediaTime::fromSeconds(double seconds, std::int32_t preferredTimescale) {
    if (std::isnan(seconds)) return indefinite();
    if (std::isinf(seconds)) return seconds > 0 ? positiveInfinity() : negativeInfinity();
    if (preferredTimescale <= 0) return invalid();
    const double ticks = std::round(seconds * preferredTimescale);
    if (ticks >= 9.2e18) return positiveInfinity();
    if (ticks <= -9.2e18) return negativeInfinity();
    return make(static_cast<std::int64_t>(ticks), preferredTimescale);
}

double MediaTime::seconds() const {
    switch (kind) {
        case Kind::numeric: return static_cast<double>(value) / timescale;
        case Kind::positiveInfinity: return std::numeric_limits<double>::infinity();
        case Kind::negativeInfinity: return -std::numeric_limits<double>::infinity();
        case Kind::invalid:
        case Kind::indefinite: break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

MediaTime MediaTime::convertedTo(std::int32_t newTimescale) const {
    if (!isNumeric()) return *this;
    if (newTimescale <= 0) return invalid();
    if (newTimescale == timescale) return *this;
    return make(scaled(value, newTimescale, timescale), newTimescale);
}

MediaTime operator-(const MediaTime& lhs, const MediaTime& rhs) {
    using Kind = MediaTime::Kind;
    if (!lhs.isValid() || !rhs.isValid()) return MediaTime::invalid();
    if (lhs.kind == Kind::indefinite || rhs.kind == Kind::indefinite) return MediaTime::indefinite();
    if (!lhs.isNumeric() && !rhs.isNumeric()) return lhs.kind == rhs.kind ? MediaTime::indefinite() : lhs;
    if (!lhs.isNumeric()) return lhs;
    if (!rhs.isNumeric()) {
        return rhs.kind == Kind::positiveInfinity ? MediaTime::negativeInfinity() : MediaTime::positiveInfinity();
    }
    std::int64_t timescale = std::lcm(static_cast<std::int64_t>(lhs.timescale), static_cast<std::int64_t>(rhs.timescale));
    if (timescale > maxTimescale) timescale = std::max(lhs.timescale, rhs.timescale);
    const Wide difference = static_cast<Wide>(scaled(lhs.value, timescale, lhs.timescale)) -
                                scaled(rhs.value, timescale, rhs.timescale);
    if (difference > std::numeric_limits<std::int64_t>::max()) return MediaTime::positiveInfinity();
    if (difference < std::numeric_limits<std::int64_t>::min()) return MediaTime::negativeInfinity();
    return MediaTime::make(static_cast<std::int64_t>(difference), static_cast<std::int32_t>(timescale));
}

std::partial_ordering compare(const MediaTime& lhs, const MediaTime& rhs) {
    using Kind = MediaTime::Kind;
    const auto rank = [](const MediaTime& time) {
        return time.kind == Kind::negativeInfinity ? 0 : time.kind == Kind::numeric ? 1 : 2;
    };
    if (!lhs.isValid() || !rhs.isValid() || lhs.kind == Kind::indefinite || rhs.kind == Kind::indefinite) {
        return std::partial_ordering::unordered;
    }
    if (lhs.isNumeric() && rhs.isNumeric()) {
        const Wide left = static_cast<Wide>(lhs.value) * rhs.timescale;
        const Wide right = static_cast<Wide>(rhs.value) * lhs.timescale;
        return left <=> right;
    }
    return rank(lhs) <=> rank(rhs);
}

}  // namespace halvex
