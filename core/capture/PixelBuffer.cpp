#include "core/capture/PixelBuffer.h"

#include <stdexcept>

namespace halvex {

PixelBuffer::PixelBuffer(int width, int height, std::size_t bytesPerRow, std::uint32_t pixelFormat)
    : width_(width),
      height_(height),
      bytesPerRow_(bytesPerRow),
      pixelFormat_(pixelFormat),
      bytes_(bytesPerRow * static_cast<std::size_t>(height)) {}

std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height, std::uint32_t pixelFormat) {
    if (width <= 0 || height <= 0) throw std::invalid_argument("A pixel buffer needs a positive size.");
    return std::shared_ptr<PixelBuffer>(new PixelBuffer(width, height, paddedRowBytes(width), pixelFormat));
}

std::shared_ptr<PixelBufferPool> PixelBufferPool::create(int width, int height, std::size_t capacity,
                                                         std::uint32_t pixelFormat) {
    if (width <= 0 || height <= 0 || capacity == 0) throw std::invalid_argument("A pixel buffer pool needs a size.");
    return std::shared_ptr<PixelBufferPool>(new PixelBufferPool(width, height, capacity, pixelFormat));
}

std::shared_ptr<PixelBuffer> PixelBufferPool::acquire() {
    std::unique_ptr<PixelBuffer> buffer;
    {
        std::lock_guard guard(lock_);
        if (!free_.empty()) {
            buffer = std::move(free_.back());
            free_.pop_back();
        } else if (created_ < capacity_) {
            ++created_;
        } else {
            return nullptr;
        }
        ++outstanding_;
    }
    if (!buffer) buffer.reset(new PixelBuffer(width_, height_, PixelBuffer::paddedRowBytes(width_), pixelFormat_));
    std::weak_ptr<PixelBufferPool> pool = weak_from_this();
    return std::shared_ptr<PixelBuffer>(buffer.release(), [pool](PixelBuffer* returned) {
        std::unique_ptr<PixelBuffer> owned(returned);
        if (const auto alive = pool.lock()) alive->giveBack(std::move(owned));
    });
}

void PixelBufferPool::giveBack(std::unique_ptr<PixelBuffer> buffer) {
    std::lock_guard guard(lock_);
    --outstanding_;
    free_.push_back(std::move(buffer));
}

std::size_t PixelBufferPool::inUse() const {
    std::lock_guard guard(lock_);
    return outstanding_;
}

}  // namespace halvex
