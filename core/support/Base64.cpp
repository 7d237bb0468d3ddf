#include "core/support/Base64.h"

namespace halvex {

std::string halvexBase64Encode(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((count + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < count; i += 3) {
        const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        text += alphabet[group >> 18];
        text += alphabet[(group >> 12) & 63];
        text += alphabet[(group >> 6) & 63];
        text += alphabet[group & 63];
    }
    if (i < count) {
        const std::uint32_t group = (bytes[i] << 16) | (i + 1 < count ? bytes[i + 1] << 8 : 0);
        text += alphabet[group >> 18];
        text += alphabet[(group >> 12) & 63];
        text += i + 1 < count ? alphabet[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

}  // namespace halvex
