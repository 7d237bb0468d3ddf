#pragma once

#include <exception>
#include <string>

namespace halvex {

// The helper's own failures. `what()` is the client-facing description placed in error responses.
class HalvexNativeError : public std::exception {
public:
    enum class Kind {
        invalidPayload,
        sourceNotFound,
        tradeNotFound,
        writerFailed,
        captureAlreadyRunning,
        captureNotRunning,
    };

    static HalvexNativeError invalidPayload(std::string message);
    static HalvexNativeError sourceNotFound(std::string sourceId);
    static HalvexNativeError tradeNotFound(std::string sessionId);
    static HalvexNativeError writerFailed(std::string message);
    static HalvexNativeError captureAlreadyRunning();
    static HalvexNativeError captureNotRunning();

    Kind kind() const { return kind_; }
    // The case's payload text (message, source or session identifier); empty for the cases without one.
    const std::string& payload() const { return payload_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const HalvexNativeError& other) const {
        return kind_ == other.kind_ && payload_ == other.payload_;
    }

private:
    HalvexNativeError(Kind kind, std::string payload);

    Kind kind_;
    std::string payload_;
    std::string description_;
};

}  // namespace halvex
