#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvex {

// Writes "[<ISO-8601 time>] [HalvexMacHelper] <message>\n" to standard error with one write, and
// appends the same bytes to the log file when one is set. Safe from any thread; never fails.
void halvexNativeLog(std::string_view message);

// Closes the current log file, then opens (creating it if needed) and appends to `path` when it is
// absolute. A relative or missing path, or a file that cannot be opened, leaves no log file.
void halvexSetLogFile(const std::optional<std::string>& path);

}  // namespace halvex
