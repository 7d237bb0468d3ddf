#include <gtest/gtest.h>

#include "core/capture/engine/CaptureStream.h"

namespace halvex {
namespace {

TEST(CaptureStreamConfiguration, QueueDepthKeepsQueuedFramesWithinTheBudget) {
    const struct {
        std::int64_t width, height, depth;
    } cases[] = {{1920, 1080, 6}, {3840, 2160, 5}, {5120, 2880, 3}, {7680, 4320, 3}, {2, 2, 6}, {0, 0, 6}};
    for (const auto& item : cases) {
        EXPECT_EQ(CaptureStreamConfiguration::queueDepthFor(item.width, item.height), item.depth)
            << item.width << "x" << item.height;
    }
}

}  // namespace
}  // namespace halvex
