#include <gtest/gtest.h>

#include "core/capture/PixelBuffer.h"

namespace halvex {
namespace {

TEST(PixelBuffer, RowsArePaddedAndZeroed) {
    const auto buffer = PixelBuffer::create(3, 2);
    EXPECT_EQ(buffer->bytesPerRow(), 64u);
    EXPECT_EQ(buffer->byteCount(), 128u);
    EXPECT_EQ(buffer->pixelFormat(), PixelFormat::bgra);
    EXPECT_EQ(buffer->row(1) - buffer->row(0), 64);
    EXPECT_THROW(PixelBuffer::create(0, 2), std::invalid_argument);
}

TEST(PixelBufferPool, HandsOutAtMostItsCapacityAndReusesReturnedBuffers) {
    const auto pool = PixelBufferPool::create(8, 8, 2);
    auto first = pool->acquire();
    auto second = pool->acquire();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(pool->acquire(), nullptr);
    EXPECT_EQ(pool->inUse(), 2u);
    first->data()[0] = 42;
    const auto* reusedBytes = first->data();
    first.reset();
    auto third = pool->acquire();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->data(), reusedBytes);
    EXPECT_EQ(third->data()[0], 42);
}

TEST(PixelBufferPool, BuffersOutliveTheirPool) {
    auto pool = PixelBufferPool::create(4, 4, 1);
    auto buffer = pool->acquire();
    pool.reset();
    buffer->data()[0] = 1;  // still valid; freed when released
    buffer.reset();
}

}  // namespace
}  // namespace halvex
