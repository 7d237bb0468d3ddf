#include "core/support/SerialQueue.h"

#include "core/support/DetailedError.h"
#include "core/support/NativeLog.h"

namespace halvex {
namespace {

void runLogged(const std::function<void()>& work, const std::string& label) {
    try {
        work();
    } catch (...) {
        halvexNativeLog("A task on " + label + " failed: " + halvexDetailedError(std::current_exception()));
    }
}

}  // namespace

std::shared_ptr<SerialQueue> SerialQueue::create(std::string label, std::shared_ptr<Clock> clock) {
    auto state = std::make_shared<State>();
    state->label = std::move(label);
    state->clock = std::move(clock);
    std::shared_ptr<SerialQueue> queue(new SerialQueue(state));
    // The clock holds the waker weakly and the waker holds the state weakly: neither keeps the other alive.
    std::weak_ptr<State> weakState = state;
    queue->wake_ = std::make_shared<std::function<void()>>([weakState] {
        if (const auto alive = weakState.lock()) {
            std::lock_guard guard(alive->lock);
            alive->condition.notify_all();
        }
    });
    state->clock->observeTimeChanges(queue->wake_);
    queue->thread_ = std::thread([state] { run(state); });
    queue->threadId_ = queue->thread_.get_id();
    return queue;
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard guard(state_->lock);
        state_->stopping = true;
        state_->condition.notify_all();
    }
    // The last owner may let go from a work item on the queue itself; that thread cannot join itself.
    if (std::this_thread::get_id() == threadId_) {
        thread_.detach();
    } else if (thread_.joinable()) {
        thread_.join();
    }
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == threadId_; }

void SerialQueue::async(std::function<void()> work) {
    std::lock_guard guard(state_->lock);
    state_->work.push_back(std::move(work));
    state_->condition.notify_all();
}

std::shared_ptr<QueueTimer> SerialQueue::after(double delaySeconds, std::function<void()> work) {
    return schedule(delaySeconds, 0, std::move(work));
}

std::shared_ptr<QueueTimer> SerialQueue::repeating(double intervalSeconds, std::function<void()> work) {
    return schedule(intervalSeconds, intervalSeconds, std::move(work));
}

std::shared_ptr<QueueTimer> SerialQueue::schedule(double delaySeconds, double intervalSeconds,
                                                  std::function<void()> work) {
    auto handle = std::make_shared<QueueTimer>();
    const double deadline = state_->clock->uptime() + std::max(0.0, delaySeconds);
    std::lock_guard guard(state_->lock);
    state_->timers.emplace(deadline, Timer{handle, intervalSeconds, std::move(work)});
    state_->condition.notify_all();
    return handle;
}

void SerialQueue::run(const std::shared_ptr<State>& state) {
    std::unique_lock guard(state->lock);
    while (true) {
        // Once stopping, queued work still runs (callers may wait on it) but timers no longer fire.
        if (!state->stopping && !state->timers.empty() && state->timers.begin()->first <= state->clock->uptime()) {
            auto due = state->timers.extract(state->timers.begin());
            Timer& timer = due.mapped();
            if (timer.handle->cancelled()) continue;
            std::function<void()> work = timer.work;
            if (timer.intervalSeconds > 0) {
                due.key() += timer.intervalSeconds;
                state->timers.insert(std::move(due));
            }
            guard.unlock();
            runLogged(work, state->label);
            guard.lock();
            continue;
        }
        if (!state->work.empty()) {
            auto work = std::move(state->work.front());
            state->work.pop_front();
            guard.unlock();
            runLogged(work, state->label);
            work = nullptr;
            guard.lock();
            continue;
        }
        if (state->stopping) return;
        if (state->timers.empty()) {
            state->condition.wait(guard);
        } else {
            state->clock->waitUntil(state->condition, guard, state->timers.begin()->first);
        }
    }
}

}  // namespace halvex
