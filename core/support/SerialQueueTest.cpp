#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "core/support/SerialQueue.h"

namespace halvex {
namespace {

TEST(SerialQueue, RunsWorkInOrderOneAtATime) {
    const auto queue = SerialQueue::create("test.order");
    std::vector<int> seen;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 200; ++i) {
        queue->async([&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            seen.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue->sync([] {});
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST(SerialQueue, SyncReturnsResultsRethrowsErrorsAndRunsInlineOnItsOwnThread) {
    const auto queue = SerialQueue::create("test.sync");
    EXPECT_EQ(queue->sync([] { return 42; }), 42);
    EXPECT_THROW(queue->sync([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    // Nested sync on the queue's own thread must not deadlock.
    const int nested = queue->sync([&] {
        EXPECT_TRUE(queue->isCurrent());
        return queue->sync([] { return 7; }) + 1;
    });
    EXPECT_EQ(nested, 8);
    EXPECT_FALSE(queue->isCurrent());
}

TEST(SerialQueue, TimersFollowAManualClock) {
    const auto clock = std::make_shared<ManualClock>();
    const auto queue = SerialQueue::create("test.timers", clock);
    std::vector<std::string> fired;
    queue->after(1.0, [&] { fired.push_back("once@" + std::to_string(clock->uptime())); });
    const auto health = queue->repeating(2.0, [&] { fired.push_back("tick"); });
    const auto cancelled = queue->after(0.5, [&] { fired.push_back("never"); });
    cancelled->cancel();

    const auto firedSoFar = [&] { return queue->sync([&] { return fired; }); };
    EXPECT_TRUE(firedSoFar().empty());
    clock->advance(0.999);
    EXPECT_TRUE(firedSoFar().empty());
    clock->advance(0.001);
    EXPECT_EQ(firedSoFar(), (std::vector<std::string>{"once@" + std::to_string(1.0)}));
    clock->advance(1.0);
    EXPECT_EQ(firedSoFar().size(), 2u);
    clock->advance(4.0);  // two more intervals pass at once: the timer catches up
    EXPECT_EQ(firedSoFar().size(), 4u);
    health->cancel();
    clock->advance(10.0);
    EXPECT_EQ(firedSoFar().size(), 4u);
}

TEST(SerialQueue, RealTimersFireAndTheQueueMayBeDroppedFromItsOwnThread) {
    auto queue = SerialQueue::create("test.real");
    std::promise<void> fired;
    queue->after(0.01, [&] { fired.set_value(); });
    EXPECT_EQ(fired.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);

    std::promise<void> dropped;
    auto* raw = new std::shared_ptr<SerialQueue>(SerialQueue::create("test.self-drop"));
    (*raw)->async([raw, &dropped] {
        delete raw;  // the last reference goes away on the queue's own thread
        dropped.set_value();
    });
    EXPECT_EQ(dropped.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(SerialQueue, AFailingTaskDoesNotStopTheQueue) {
    const auto queue = SerialQueue::create("test.failure");
    queue->async([] { throw std::runtime_error("ignored"); });
    EXPECT_EQ(queue->sync([] { return 1; }), 1);
}

}  // namespace
}  // namespace halvex
