#include "core/support/UTF8.h"

namespace halvex {
namespace {

// Length of the well-formed sequence starting at `position`, or 0 when it is ill-formed.
std::size_t wellFormedLength(std::string_view bytes, std::size_t position) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(position);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (position + length > bytes.size()) return 0;
    if (at(position + 1) < low || at(position + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((at(position + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

bool halvexIsValidUTF8(std::string_view bytes) {
    for (std::size_t position = 0; position < bytes.size();) {
        const std::size_t length = wellFormedLength(bytes, position);
        if (length == 0) return false;
        position += length;
    }
    return true;
}

std::string halvexRepairedUTF8(std::string_view bytes) {
    std::string repaired;
    repaired.reserve(bytes.size());
    for (std::size_t position = 0; position < bytes.size();) {
        const std::size_t length = wellFormedLength(bytes, position);
        if (length == 0) {
            repaired += "\xEF\xBF\xBD";
            ++position;
        } else {
            repaired.append(bytes.substr(position, length));
            position += length;
        }
    }
    return repaired;
}

}  // namespace halvex
