#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

#include "core/support/Clock.h"

namespace halvex {

// A timer scheduled on a SerialQueue; cancelling stops future firings (a firing already running
// finishes). Dropping the handle does not cancel.
class QueueTimer {
public:
    void cancel() { cancelled_.store(true); }
    bool cancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

// One thread that runs work items one at a time in the order they were submitted, plus timers that
// fire on the same thread. Timers that are due run before queued work. `sync` from the queue's own
// thread runs the body at once instead of deadlocking.
class SerialQueue : public std::enable_shared_from_this<SerialQueue> {
public:
    static std::shared_ptr<SerialQueue> create(std::string label, std::shared_ptr<Clock> clock = RealClock::shared());
    ~SerialQueue();

    const std::string& label() const { return state_->label; }
    const std::shared_ptr<Clock>& clock() const { return state_->clock; }
    // True on the queue's own thread.
    bool isCurrent() const;

    void async(std::function<void()> work);

    // Runs `work` on the queue and waits for it; returns its result or rethrows its exception.
    template <typename Work>
    auto sync(Work&& work) -> std::invoke_result_t<Work> {
        using Result = std::invoke_result_t<Work>;
        if (isCurrent()) return work();
        auto task = std::make_shared<std::packaged_task<Result()>>(std::forward<Work>(work));
        auto result = task->get_future();
        async([task] { (*task)(); });
        return result.get();
    }

    // Runs `work` once after `delaySeconds` of the queue's clock.
    std::shared_ptr<QueueTimer> after(double delaySeconds, std::function<void()> work);
    // Runs `work` every `intervalSeconds`, first after one interval, until cancelled.
    std::shared_ptr<QueueTimer> repeating(double intervalSeconds, std::function<void()> work);

private:
    struct Timer {
        std::shared_ptr<QueueTimer> handle;
        double intervalSeconds;  // 0 for a one-shot timer
        std::function<void()> work;
    };
    // Shared with the worker thread, so the thread can finish safely even when the queue is
    // destroyed from one of its own work items.
    struct State {
        std::string label;
        std::shared_ptr<Clock> clock;
        std::mutex lock;
        std::condition_variable condition;
        std::deque<std::function<void()>> work;
        std::multimap<double, Timer> timers;
        bool stopping = false;
    };

    explicit SerialQueue(std::shared_ptr<State> state) : state_(std::move(state)) {}
    static void run(const std::shared_ptr<State>& state);
    std::shared_ptr<QueueTimer> schedule(double delaySeconds, double intervalSeconds, std::function<void()> work);

    std::shared_ptr<State> state_;
    std::shared_ptr<std::function<void()>> wake_;
    std::thread thread_;
    std::thread::id threadId_;
};

}  // namespace halvex
