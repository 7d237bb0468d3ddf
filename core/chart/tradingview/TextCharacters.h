#pragma once

#include <cstddef>
#include <string>

namespace halvex {

// Character-level helpers the chart text readers share. Texts are UTF-8; ill-formed bytes read as
// U+FFFD. A "character" here is one Unicode code point.
namespace TextCharacters {

std::u32string codePoints(const std::string& text);
std::string utf8(const std::u32string& codePoints);

// Unicode general category N (digits, letter numbers, other numbers).
bool isNumeric(char32_t c);
bool isLetter(char32_t c);
// The Unicode White_Space property: spaces of every width and line breaks.
bool isWhiteSpace(char32_t c);

std::size_t characterCount(const std::string& text);
// The first `limit` characters of `text`, never cutting inside a character.
std::string prefix(const std::string& text, std::size_t limit);
// `text` without white space and line breaks at either end.
std::string trimmed(const std::string& text);
// Full Unicode upper-casing (root locale), so «ß» becomes «SS».
std::string upperCased(const std::string& text);

}  // namespace TextCharacters

}  // namespace halvex
