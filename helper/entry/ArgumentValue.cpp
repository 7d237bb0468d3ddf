#include "helper/entry/ArgumentValue.h"

#include <algorithm>

namespace halvex {

std::optional<std::string> argumentValue(const std::string& option, const std::vector<std::string>& arguments) {
    const auto match = std::find(arguments.begin(), arguments.end(), option);
    if (match == arguments.end() || std::next(match) == arguments.end()) return std::nullopt;
    return *std::next(match);
}

}  // namespace halvex
