#include "core/support/PlatformError.h"

#include <cstring>

namespace halvex {

PlatformError::PlatformError(std::string domain, std::int64_t code, std::string description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

PlatformError& PlatformError::withReason(std::string reason) {
    reason_ = std::move(reason);
    return *this;
}

PlatformError& PlatformError::withRecovery(std::string recovery) {
    recovery_ = std::move(recovery);
    return *this;
}

PlatformError& PlatformError::withField(std::string key, std::string value) {
    fields_.emplace_back(std::move(key), std::move(value));
    return *this;
}

PlatformError& PlatformError::withUnderlying(std::exception_ptr underlying) {
    underlying_ = std::move(underlying);
    return *this;
}

PlatformError PlatformError::posix(int errorNumber, const std::string& context) {
    PlatformError error("POSIX", errorNumber, context + ": " + std::strerror(errorNumber));
    return error;
}

}  // namespace halvex
