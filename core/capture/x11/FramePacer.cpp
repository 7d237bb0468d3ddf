#include "core/capture/x11/FramePacer.h"

#include <algorithm>

namespace halvex::x11 {
namespace {

constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;

}  // namespace

FramePacer::FramePacer(Clock::time_point start, std::int64_t fps) : start_(start), fps_(std::max<std::int64_t>(1, fps)) {}

FramePacer::Clock::time_point FramePacer::dueAt(std::int64_t slot) const {
    // Whole seconds first, so long runs neither overflow nor drift.
    const std::int64_t nanoseconds = slot / fps_ * nanosecondsPerSecond + slot % fps_ * nanosecondsPerSecond / fps_;
    return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

std::int64_t FramePacer::advance(Clock::time_point now) {
    const std::int64_t next = slot_ + 1;
    std::int64_t target = next;
    if (dueAt(next) < now) {
        const std::int64_t elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start_).count();
        target = std::max(next, elapsed / nanosecondsPerSecond * fps_ + elapsed % nanosecondsPerSecond * fps_ / nanosecondsPerSecond);
        while (dueAt(target) < now) ++target;
    }
    slot_ = target;
    return target - next;
}

}  // namespace halvex::x11
