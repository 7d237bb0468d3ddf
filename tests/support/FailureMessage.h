#pragma once

#include <exception>
#include <functional>
#include <string>

namespace halvex::testing {

// What `body` throws, as its what() text, or "no error" when it returns normally.
inline std::string messageOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace halvex::testing
