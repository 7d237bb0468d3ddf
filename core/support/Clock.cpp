#include "core/support/Clock.h"

#include <chrono>

#include "core/support/ISO8601.h"

namespace halvex {

std::shared_ptr<RealClock> RealClock::shared() {
    static const auto clock = std::make_shared<RealClock>();
    return clock;
}

double RealClock::uptime() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double RealClock::epochNow() const { return halvexEpochNow(); }

void RealClock::waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, double deadline) {
    const double left = deadline - uptime();
    if (left <= 0) return;
    condition.wait_for(lock, std::chrono::duration<double>(left));
}

double ManualClock::uptime() const {
    std::lock_guard guard(lock_);
    return uptime_;
}

double ManualClock::epochNow() const {
    std::lock_guard guard(lock_);
    return epoch_;
}

void ManualClock::waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, double) {
    // Time passes only through advance(), which wakes the waiter through its observer.
    condition.wait(lock);
}

void ManualClock::observeTimeChanges(std::weak_ptr<std::function<void()>> wake) {
    std::lock_guard guard(lock_);
    observers_.push_back(std::move(wake));
}

void ManualClock::advance(double seconds) {
    std::vector<std::shared_ptr<std::function<void()>>> toWake;
    {
        std::lock_guard guard(lock_);
        uptime_ += seconds;
        epoch_ += seconds;
        std::erase_if(observers_, [&](const auto& observer) {
            auto alive = observer.lock();
            if (alive) toWake.push_back(std::move(alive));
            return !alive;
        });
    }
    for (const auto& wake : toWake) (*wake)();
}

}  // namespace halvex
