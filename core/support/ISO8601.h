#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvex {

// "2026-12-10T11:20:48.123Z": UTC with milliseconds, the helper's one text timestamp format.
std::string halvexISO8601String(double epochSeconds);

// Seconds since 1970 of the current instant, from the system's real-time clock.
double halvexEpochNow();

// Parses an internet date-time: "YYYY-MM-DDTHH:MM:SS[.fraction](Z|±HH:MM|±HHMM)". Anything else
// (a space for the T, a missing zone, trailing text) gives nothing.
std::optional<double> halvexParseInternetDateTime(std::string_view text);

}  // namespace halvex
