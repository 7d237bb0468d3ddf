#pragma once

#include <optional>
#include <string>

namespace halvex {

// Whether the engine records all the time into a rolling buffer, or only from a trade's mark until
// its post-roll has passed.
enum class CaptureRecordMode { rolling, onTrade };

const std::string& rawValue(CaptureRecordMode mode);
// Exact, case-sensitive match of "rolling" or "on-trade"; anything else gives no value.
std::optional<CaptureRecordMode> parseCaptureRecordMode(const std::string& text);
// As parseCaptureRecordMode, but throws HalvexNativeError invalidPayload quoting the text as received.
CaptureRecordMode parseCaptureRecordModeStrict(const std::string& text);

}  // namespace halvex
