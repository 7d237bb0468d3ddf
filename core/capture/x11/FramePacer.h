#pragma once

#include <chrono>
#include <cstdint>

namespace halvex::x11 {

// The capture schedule of a stream: frame n is due at start + n / fps. A frame that finishes late
// gives up the slots it overran instead of catching up on them, so frames never come in bursts and
// the rate never exceeds fps.
class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // `fps` below 1 counts as 1.
    FramePacer(Clock::time_point start, std::int64_t fps);

    // The number of the current slot (0 first) and when it is due.
    std::int64_t slot() const { return slot_; }
    Clock::time_point due() const { return dueAt(slot_); }

    // Moves on after the current slot's frame, at `now`: to the next slot, or, when that one is
    // already overdue, to the first slot not yet due. Returns how many slots were given up.
    std::int64_t advance(Clock::time_point now);

private:
    Clock::time_point dueAt(std::int64_t slot) const;

    Clock::time_point start_;
    std::int64_t fps_;
    std::int64_t slot_ = 0;
};

}  // namespace halvex::x11
