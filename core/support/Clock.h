#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace halvex {

// Where time comes from: the real clocks in production, a hand-driven one in tests, so stalls,
// post-roll and timers can be tested without sleeping.
class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic seconds, for intervals and timers.
    virtual double uptime() const = 0;
    // Wall-clock seconds since 1970, for the times that are reported.
    virtual double epochNow() const = 0;
    // Blocks on `condition` (with `lock` held on entry and exit) until `deadline` in uptime seconds
    // has passed, the condition is notified, or the clock's time moves.
    virtual void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, double deadline) = 0;
    // Asks the clock to call `wake` whenever its time moves by other means than passing (a manual
    // clock's advance). The clock holds it weakly; real clocks never call it.
    virtual void observeTimeChanges(std::weak_ptr<std::function<void()>> wake) = 0;
};

class RealClock : public Clock {
public:
    static std::shared_ptr<RealClock> shared();

    double uptime() const override;
    double epochNow() const override;
    void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, double deadline) override;
    void observeTimeChanges(std::weak_ptr<std::function<void()>>) override {}
};

// Time that moves only when a test says so. Thread-safe.
class ManualClock : public Clock {
public:
    explicit ManualClock(double uptime = 0, double epoch = 1'700'000'000.0) : uptime_(uptime), epoch_(epoch) {}

    double uptime() const override;
    double epochNow() const override;
    void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, double deadline) override;
    void observeTimeChanges(std::weak_ptr<std::function<void()>> wake) override;

    // Moves both clocks forward and wakes every queue waiting on this clock.
    void advance(double seconds);

private:
    mutable std::mutex lock_;
    double uptime_;
    double epoch_;
    std::vector<std::weak_ptr<std::function<void()>>> observers_;
};

}  // namespace halvex
