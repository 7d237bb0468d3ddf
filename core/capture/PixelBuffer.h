#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace halvex {

// Four-character pixel format codes, as capture sources report them.
namespace PixelFormat {
inline constexpr std::uint32_t bgra = 0x42475241;  // 'BGRA': bytes B, G, R, A per pixel
}

// One captured frame's pixels: `height` rows of `bytesPerRow` bytes, shared between the capture
// path, the writer and the chart watcher without copying. The bytes are mutable only for whoever
// fills the buffer before handing it on.
class PixelBuffer {
public:
    // A zeroed buffer; rows are padded to 64 bytes. Throws std::invalid_argument for a size <= 0.
    static std::shared_ptr<PixelBuffer> create(int width, int height, std::uint32_t pixelFormat = PixelFormat::bgra);

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    std::uint32_t pixelFormat() const { return pixelFormat_; }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::uint8_t* row(int y) { return bytes_.data() + static_cast<std::size_t>(y) * bytesPerRow_; }
    const std::uint8_t* row(int y) const { return bytes_.data() + static_cast<std::size_t>(y) * bytesPerRow_; }
    std::size_t byteCount() const { return bytes_.size(); }

private:
    friend class PixelBufferPool;
    PixelBuffer(int width, int height, std::size_t bytesPerRow, std::uint32_t pixelFormat);
    static std::size_t paddedRowBytes(int width) { return (static_cast<std::size_t>(width) * 4 + 63) / 64 * 64; }

    int width_;
    int height_;
    std::size_t bytesPerRow_;
    std::uint32_t pixelFormat_;
    std::vector<std::uint8_t> bytes_;
};

// A fixed number of same-sized buffers, reused: a buffer handed out returns to the pool when its
// last holder lets go. Thread-safe.
class PixelBufferPool : public std::enable_shared_from_this<PixelBufferPool> {
public:
    static std::shared_ptr<PixelBufferPool> create(int width, int height, std::size_t capacity,
                                                   std::uint32_t pixelFormat = PixelFormat::bgra);

    // A free buffer (its previous contents kept), or null when all `capacity` are in use.
    std::shared_ptr<PixelBuffer> acquire();

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t capacity() const { return capacity_; }
    std::size_t inUse() const;

private:
    PixelBufferPool(int width, int height, std::size_t capacity, std::uint32_t pixelFormat)
        : width_(width), height_(height), capacity_(capacity), pixelFormat_(pixelFormat) {}
    void giveBack(std::unique_ptr<PixelBuffer> buffer);

    int width_;
    int height_;
    std::size_t capacity_;
    std::uint32_t pixelFormat_;
    mutable std::mutex lock_;
    std::vector<std::unique_ptr<PixelBuffer>> free_;
    std::size_t created_ = 0;
    std::size_t outstanding_ = 0;
};

}  // namespace halvex
