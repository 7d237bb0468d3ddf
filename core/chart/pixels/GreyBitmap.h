#pragma once

#include <cstdint>
#include <vector>

namespace halvex {

// A grey image of one byte per pixel, rows top to bottom without padding: the form in which label
// crops travel to whichever text recogniser rereads them.
struct GreyBitmap {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> pixels;

    bool operator==(const GreyBitmap&) const = default;

    bool isValid() const {
        return width > 0 && height > 0 && pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::uint8_t at(std::int64_t x, std::int64_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

}  // namespace halvex
