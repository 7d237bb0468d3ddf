#pragma once

#include <string>
#include <string_view>

namespace halvex {

// Writes `bytes` to a temporary file beside `path`, flushes it to disk, renames it over `path` and
// flushes the directory, so a reader only ever sees the old or the new complete file. On failure
// the temporary file is removed, `path` is untouched and a PlatformError ("POSIX" domain) is thrown.
void halvexWriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace halvex
