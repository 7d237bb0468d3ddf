#pragma once

#include <compare>
#include <cstdint>

namespace halvex {

// A rational time on a media timeline: `value` / `timescale` seconds, with the special values the
// capture path needs (invalid, the two infinities, indefinite). Sample times from a capture
// source, segment durations and presentation times in segment reports all travel as MediaTime so
// nothing is rounded before it has to be.
struct MediaTime {
    enum class Kind : std::uint8_t { invalid, numeric, positiveInfinity, negativeInfinity, indefinite };

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    Kind kind = Kind::invalid;

    // A numeric time; a timescale <= 0 gives an invalid time.
    static MediaTime make(std::int64_t value, std::int32_t timescale);
    // `seconds` rounded to the nearest tick of `preferredTimescale`; non-finite seconds map to the
    // matching infinity (NaN to indefinite).
    static MediaTime fromSeconds(double seconds, std::int32_t preferredTimescale);
    static MediaTime zero() { return make(0, 1); }
    static MediaTime invalid() { return MediaTime{}; }
    static MediaTime positiveInfinity() { return MediaTime{0, 0, Kind::positiveInfinity}; }
    static MediaTime negativeInfinity() { return MediaTime{0, 0, Kind::negativeInfinity}; }
    static MediaTime indefinite() { return MediaTime{0, 0, Kind::indefinite}; }

    bool isValid() const { return kind != Kind::invalid; }
    // Valid and an actual number (not infinite or indefinite).
    bool isNumeric() const { return kind == Kind::numeric; }

    // value / timescale; +-infinity for the infinities, NaN for invalid and indefinite.
    double seconds() const;

    // The same instant in `timescale` ticks, rounded half away from zero; non-numeric times and a
    // timescale <= 0 come back unchanged or invalid respectively.
    MediaTime convertedTo(std::int32_t newTimescale) const;

    // Field-by-field identity (1/30 and 2/60 differ here; compare them with `compare`).
    bool operator==(const MediaTime&) const = default;
};

// lhs - rhs. Exact when both share a timescale or their least common multiple fits 32 bits; else
// in the larger timescale, rounded. Invalid when either side is; indefinite when either side is,
// or for infinity minus the same infinity; an infinity minus a number stays that infinity.
MediaTime operator-(const MediaTime& lhs, const MediaTime& rhs);

// Orders two times by the instant they stand for (negative infinity < numbers < positive
// infinity). Invalid or indefinite operands are unordered.
std::partial_ordering compare(const MediaTime& lhs, const MediaTime& rhs);

}  // namespace halvex
