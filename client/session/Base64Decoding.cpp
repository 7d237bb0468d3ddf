#include "client/session/Base64Decoding.h"

namespace halvex::client {

std::optional<std::vector<std::uint8_t>> base64Decoded(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t buffer = 0;
    int bits = 0;
    std::size_t index = 0;
    for (; index < text.size() && text[index] != '='; ++index) {
        const auto value = alphabet.find(text[index]);
        if (value == std::string::npos) return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    for (; index < text.size(); ++index) {
        if (text[index] != '=') return std::nullopt;
    }
    return bytes;
}

}  // namespace halvex::client
