#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace halvex::testing {

// The test thread plays an owner's serial queue: tasks submitted from any thread run on the test's
// thread, one at a time, while it waits in runUntil().
class TestTaskQueue {
public:
    // A submit function for callback queues (e.g. a writer's); callable from any thread.
    std::function<void(std::function<void()>)> submitter() {
        return [this](std::function<void()> task) {
            std::lock_guard guard(lock_);
            tasks_.push_back(std::move(task));
            wake_.notify_all();
        };
    }

    // Runs submitted tasks until `done` holds; false when `timeout` passes first.
    bool runUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            std::function<void()> task;
            {
                std::unique_lock guard(lock_);
                if (!wake_.wait_until(guard, deadline, [this] { return !tasks_.empty(); })) return false;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
        return true;
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace halvex::testing
