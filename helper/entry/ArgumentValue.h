#pragma once

#include <optional>
#include <string>
#include <vector>

namespace halvex {

// The argument right after the first one equal to `option`; nothing when the option is absent or
// its first occurrence is the last argument (later occurrences are not searched).
std::optional<std::string> argumentValue(const std::string& option, const std::vector<std::string>& arguments);

}  // namespace halvex
