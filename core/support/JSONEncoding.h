#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// Thrown when a value cannot be written as JSON (a NaN or an infinity anywhere inside it).
class JSONEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The wire form: compact, keys sorted, "/" never escaped, raw UTF-8 (invalid sequences replaced),
// doubles in shortest round-trip form, integers as integers. Throws JSONEncodingError.
std::string halvexEncodeCompact(const nlohmann::json& value);

// The file form (manifests, probe files use compact): the same rules, indented by two spaces.
std::string halvexEncodePretty(const nlohmann::json& value);

// Writes an optional field only when it holds a value, so absent fields are omitted, never null.
template <typename T>
void halvexSetOptional(nlohmann::json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

}  // namespace halvex
