#include "core/chart/tradingview/TextCharacters.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace halvex::TextCharacters {

std::u32string codePoints(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t index = 0;
    while (index < length) {
        UChar32 c;
        U8_NEXT(bytes, index, length, c);
        out.push_back(c < 0 ? U'\uFFFD' : static_cast<char32_t>(c));
    }
    return out;
}

std::string utf8(const std::u32string& codePoints) {
    std::string out;
    out.reserve(codePoints.size());
    for (const char32_t c : codePoints) {
        uint8_t buffer[U8_MAX_LENGTH];
        int32_t length = 0;
        UBool failed = false;
        U8_APPEND(buffer, length, U8_MAX_LENGTH, static_cast<UChar32>(c), failed);
        if (failed) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
        }
    }
    return out;
}

bool isNumeric(char32_t c) {
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_DECIMAL_DIGIT_NUMBER:
        case U_LETTER_NUMBER:
        case U_OTHER_NUMBER: return true;
        default: return false;
    }
}

bool isLetter(char32_t c) { return u_isalpha(static_cast<UChar32>(c)); }

bool isWhiteSpace(char32_t c) { return u_isUWhiteSpace(static_cast<UChar32>(c)); }

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char byte : text) {
        // Every byte that is not a UTF-8 continuation byte starts a character.
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string prefix(const std::string& text, std::size_t limit) {
    std::size_t seen = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if ((static_cast<unsigned char>(text[index]) & 0xC0) != 0x80) {
            if (seen == limit) return text.substr(0, index);
            ++seen;
        }
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const std::u32string points = codePoints(text);
    std::size_t begin = 0;
    std::size_t end = points.size();
    while (begin < end && isWhiteSpace(points[begin])) ++begin;
    while (end > begin && isWhiteSpace(points[end - 1])) --end;
    if (begin == 0 && end == points.size()) return text;
    return utf8(points.substr(begin, end - begin));
}

std::string upperCased(const std::string& text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    unicode.toUpper(icu::Locale::getRoot());
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

}  // namespace halvex::TextCharacters
