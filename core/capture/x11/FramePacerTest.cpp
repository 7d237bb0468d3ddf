#include <gtest/gtest.h>

#include "core/capture/x11/FramePacer.h"

namespace halvex::x11 {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

const FramePacer::Clock::time_point origin{std::chrono::seconds(1000)};

TEST(FramePacer, FramesFallDueOnAFixedScheduleWithoutDrift) {
    FramePacer pacer(origin, 30);
    EXPECT_EQ(pacer.due(), origin);
    // Frames taken promptly move one slot at a time, each due at start + n / fps.
    for (int frame = 1; frame <= 90; ++frame) {
        EXPECT_EQ(pacer.advance(pacer.due() + milliseconds(5)), 0);
        EXPECT_EQ(pacer.slot(), frame);
    }
    EXPECT_EQ(pacer.due(), origin + std::chrono::seconds(3));
    FramePacer single(origin, 30);
    single.advance(origin);
    EXPECT_EQ(single.due(), origin + nanoseconds(33'333'333));
}

TEST(FramePacer, ALateFrameGivesUpTheSlotsItOverran) {
    struct Case {
        std::int64_t fps;
        milliseconds finishedAfterStart;
        std::int64_t slot;     // slot reached from slot 0
        std::int64_t skipped;
    };
    const Case cases[] = {
        {30, milliseconds(20), 1, 0},    // in time for the next slot
        {30, milliseconds(110), 4, 3},   // slots 1 to 3 overdue: the next frame waits for 133 ms
        {30, milliseconds(100), 3, 2},   // exactly due at 100 ms: taken at once
        {10, milliseconds(1000), 10, 9},
        {0, milliseconds(1500), 2, 1},   // fps below 1 counts as 1
    };
    for (const auto& item : cases) {
        FramePacer pacer(origin, item.fps);
        EXPECT_EQ(pacer.advance(origin + item.finishedAfterStart), item.skipped) << item.fps << " fps";
        EXPECT_EQ(pacer.slot(), item.slot) << item.fps << " fps";
        EXPECT_GE(pacer.due(), origin + item.finishedAfterStart);
    }
}

}  // namespace
}  // namespace halvex::x11
