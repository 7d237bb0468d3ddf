#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvex {

// A failure reported by a platform library (X11, FFmpeg, Tesseract, the file system, ...), carried
// with enough detail for halvexDetailedError: a domain naming the library, the library's code, its
// description, optional reason and recovery texts, extra fields in the order they were added, and
// the error underneath, if any.
class PlatformError : public std::exception {
public:
    PlatformError(std::string domain, std::int64_t code, std::string description);

    PlatformError& withReason(std::string reason);
    PlatformError& withRecovery(std::string recovery);
    PlatformError& withField(std::string key, std::string value);
    PlatformError& withUnderlying(std::exception_ptr underlying);

    // A PlatformError for an errno value, in the "POSIX" domain, with the system's text.
    static PlatformError posix(int errorNumber, const std::string& context);

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const std::string& description() const { return description_; }
    const std::optional<std::string>& reason() const { return reason_; }
    const std::optional<std::string>& recovery() const { return recovery_; }
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }
    std::exception_ptr underlying() const { return underlying_; }

    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string domain_;
    std::int64_t code_;
    std::string description_;
    std::optional<std::string> reason_;
    std::optional<std::string> recovery_;
    std::vector<std::pair<std::string, std::string>> fields_;
    std::exception_ptr underlying_;
};

}  // namespace halvex
