#pragma once

#include <optional>
#include <string>
#include <vector>

namespace halvex {

// Connects to the Unix-domain socket that the desktop application listens on.
namespace SocketTransport {

struct Options {
    std::string path;
    std::string token;
    bool operator==(const Options&) const = default;
};

inline constexpr double connectTimeoutSeconds = 10.0;
inline constexpr double retryPauseSeconds = 0.05;
// The longest path the client platform's socket address can hold; kept so both ends agree.
inline constexpr std::size_t maximumPathBytes = 103;

// Retries every refusal or absence every 0.05 s until `timeoutSeconds` have passed; returns the
// connected descriptor. Throws HalvexNativeError::invalidPayload with "Could not create a socket: …",
// "The socket path is too long." or "Could not connect to {path}: …".
int connect(const std::string& path, double timeoutSeconds);

std::optional<std::string> value(const std::string& option, const std::vector<std::string>& arguments);

}  // namespace SocketTransport
}  // namespace halvex
