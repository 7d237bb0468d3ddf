#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvex {

// Standard Base64 with padding and no line breaks.
std::string halvexBase64Encode(const std::uint8_t* bytes, std::size_t count);
inline std::string halvexBase64Encode(const std::vector<std::uint8_t>& bytes) {
    return halvexBase64Encode(bytes.data(), bytes.size());
}

}  // namespace halvex
