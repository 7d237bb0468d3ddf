#pragma once

#include <exception>
#include <string>

namespace halvex {

// Renders an error for log lines and failure events:
// "{domain} {code}: {description} | reason=… | recovery=… | {key}={value} | underlying=[…]".
// A null pointer gives "unknown error". PlatformError, HalvexNativeError, std::system_error and
// any other std::exception are understood.
std::string halvexDetailedError(std::exception_ptr error);
std::string halvexDetailedError(const std::exception& error);

}  // namespace halvex
