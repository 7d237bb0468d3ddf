#pragma once

#include <cstdint>
#include <string>

#include "helper/protocol/JSONValue.h"

namespace halvex {

// A request's arguments and the only ways commands read them. Every failure throws
// HalvexNativeError::invalidPayload with the message the client reads after "Invalid payload: ".
struct Payload {
    JSONValue::Object values;

    bool operator==(const Payload&) const = default;

    bool contains(const std::string& key) const { return values.count(key) > 0; }
    const JSONValue* find(const std::string& key) const;

    // A text of at least one character, exactly as sent.
    std::string requiredString(const std::string& key) const;
    // The default when absent; otherwise a text that is not empty once trimmed, returned trimmed.
    std::string string(const std::string& key, const std::string& defaultValue) const;
    // The default when absent; otherwise a finite number.
    double number(const std::string& key, double defaultValue) const;
    // The default when absent; otherwise true or false (a number is not a boolean).
    bool boolean(const std::string& key, bool defaultValue) const;
    // Seconds since 1970 from a number or numeric text (milliseconds when |x| >= 1e11) or an
    // internet date-time text; required.
    double epochSeconds(const std::string& key) const;
};

// Rounds half away from zero and tests the inclusive bounds on the double, before any conversion,
// so 1e300 or NaN fails with `rangeMessage` instead of overflowing.
std::int64_t roundedIntegerInRange(double value, std::int64_t minimum, std::int64_t maximum,
                                   const std::string& rangeMessage);

// Trims white space and line breaks (including Unicode ones) from both ends.
std::string trimmedWhitespace(const std::string& text);

}  // namespace halvex
