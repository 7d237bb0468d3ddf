#include "helper/protocol/Payload.h"

#include <cmath>
#include <cstdlib>

#include "core/support/HalvexNativeError.h"
#include "core/support/ISO8601.h"

namespace halvex {
namespace {

// Code points the platform's trimming treats as white space or line breaks.
bool isWhitespaceCodePoint(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the code point starting at `position`; returns its length (1 for a stray byte).
std::size_t decodeAt(const std::string& text, std::size_t position, char32_t& codePoint) {
    const auto byte = static_cast<unsigned char>(text[position]);
    std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 1;
    if (position + length > text.size()) length = 1;
    if (length == 1) {
        codePoint = byte;
        return 1;
    }
    codePoint = byte & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[position + i]) & 0x3F);
    return length;
}

std::size_t codePointStartBefore(const std::string& text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 4) --start;
    return start;
}

[[noreturn]] void fail(const std::string& message) { throw HalvexNativeError::invalidPayload(message); }

double millisecondsAware(double value) { return std::fabs(value) >= 100'000'000'000.0 ? value / 1000.0 : value; }

// The whole text as a floating-point number, without leading or trailing characters.
std::optional<double> wholeTextAsNumber(const std::string& text) {
    if (text.empty() || isWhitespaceCodePoint(static_cast<unsigned char>(text.front()))) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string trimmedWhitespace(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end) {
        char32_t c = 0;
        const std::size_t length = decodeAt(text, begin, c);
        if (!isWhitespaceCodePoint(c)) break;
        begin += length;
    }
    while (end > begin) {
        const std::size_t start = codePointStartBefore(text, end);
        char32_t c = 0;
        decodeAt(text, start, c);
        if (!isWhitespaceCodePoint(c)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

const JSONValue* Payload::find(const std::string& key) const {
    const auto entry = values.find(key);
    return entry == values.end() ? nullptr : &entry->second;
}

std::string Payload::requiredString(const std::string& key) const {
    const JSONValue* value = find(key);
    if (!value || !value->string() || value->string()->empty()) fail(key + " must be a non-empty string.");
    return *value->string();
}

std::string Payload::string(const std::string& key, const std::string& defaultValue) const {
    const JSONValue* value = find(key);
    if (!value) return defaultValue;
    if (!value->string()) fail(key + " must be a non-empty string.");
    auto trimmed = trimmedWhitespace(*value->string());
    if (trimmed.empty()) fail(key + " must be a non-empty string.");
    return trimmed;
}

double Payload::number(const std::string& key, double defaultValue) const {
    const JSONValue* value = find(key);
    if (!value) return defaultValue;
    if (!value->number() || !std::isfinite(*value->number())) fail(key + " must be a finite number.");
    return *value->number();
}

bool Payload::boolean(const std::string& key, bool defaultValue) const {
    const JSONValue* value = find(key);
    if (!value) return defaultValue;
    if (!value->boolean()) fail(key + " must be true or false.");
    return *value->boolean();
}

double Payload::epochSeconds(const std::string& key) const {
    const JSONValue* value = find(key);
    if (!value) fail(key + " is required.");
    const std::string wrongForm = key + " must be an ISO-8601 date or Unix timestamp.";
    std::optional<double> number;
    if (value->number()) {
        number = *value->number();
    } else if (value->string()) {
        number = wholeTextAsNumber(*value->string());
        if (!number) {
            if (const auto instant = halvexParseInternetDateTime(*value->string())) return *instant;
            fail(wrongForm);
        }
    } else {
        fail(wrongForm);
    }
    if (!std::isfinite(*number)) fail(key + " must be finite.");
    return millisecondsAware(*number);
}

std::int64_t roundedIntegerInRange(double value, std::int64_t minimum, std::int64_t maximum,
                                   const std::string& rangeMessage) {
    const double rounded = std::round(value);
    if (!(rounded >= static_cast<double>(minimum) && rounded <= static_cast<double>(maximum))) fail(rangeMessage);
    return static_cast<std::int64_t>(rounded);
}

}  // namespace halvex
