#pragma once

#include <cstdint>

namespace halvex::protocol {

inline constexpr std::int64_t protocolVersion = 2;
inline constexpr const char* helperVersion = "0.3.0";
inline constexpr const char* launchMode = "launch-services";

}  // namespace halvex::protocol
