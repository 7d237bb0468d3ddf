#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvex::client {

// Standard Base64 with optional padding; nothing for any other character.
std::optional<std::vector<std::uint8_t>> base64Decoded(const std::string& text);

}  // namespace halvex::client
