#pragma once

#include <string>
#include <string_view>

namespace halvex {

// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool halvexIsValidUTF8(std::string_view bytes);

// `bytes` with every ill-formed sequence replaced by U+FFFD.
std::string halvexRepairedUTF8(std::string_view bytes);

}  // namespace halvex
