#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvex::testing {

// A decoded picture: 4 bytes per pixel (R, G, B, A), rows top to bottom, no padding.
struct DecodedPng {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> rgba;
};

// Decodes the PNG file at `path` to 8-bit RGBA; nothing when the file is missing or not a PNG.
std::optional<DecodedPng> decodePngFile(const std::string& path);

// The folder of rendered chart pictures with their truth files, read in place.
std::string chartlabFixturesDirectory();

}  // namespace halvex::testing
