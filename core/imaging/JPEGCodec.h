#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/capture/PixelBuffer.h"

namespace halvex {

// Baseline JPEG in and out of BGRA pixel buffers (libjpeg-turbo).
namespace JPEGCodec {

// The JPEG of `image` at `quality` in 0...1 (clamped; 0.7 gives libjpeg quality 70), 4:2:0
// chroma. Empty when the image is not BGRA or the encoder fails. Thread-safe.
std::vector<std::uint8_t> encode(const PixelBuffer& image, double quality);

// The decoded image in BGRA with opaque alpha; null when `bytes` is not a decodable JPEG.
std::shared_ptr<PixelBuffer> decode(const std::vector<std::uint8_t>& bytes);

}  // namespace JPEGCodec
}  // namespace halvex
