#include "helper/entry/SocketTransport.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "core/support/HalvexNativeError.h"
#include "helper/entry/ArgumentValue.h"

namespace halvex::SocketTransport {
namespace {

int makeSocket() {
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        throw HalvexNativeError::invalidPayload(std::string("Could not create a socket: ") + std::strerror(errno));
    }
    return descriptor;
}

}  // namespace

int connect(const std::string& path, double timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    int descriptor = makeSocket();
    while (true) {
        sockaddr_un address;
        std::memset(&address, 0, sizeof address);
        address.sun_family = AF_UNIX;
        if (path.size() > maximumPathBytes) {
            ::close(descriptor);
            throw HalvexNativeError::invalidPayload("The socket path is too long.");
        }
        std::memcpy(address.sun_path, path.data(), path.size());
        if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return descriptor;
        const int failure = errno;
        ::close(descriptor);
        std::this_thread::sleep_for(std::chrono::duration<double>(retryPauseSeconds));
        if (Clock::now() >= deadline) {
            throw HalvexNativeError::invalidPayload("Could not connect to " + path + ": " + std::strerror(failure));
        }
        descriptor = makeSocket();
    }
}

std::optional<std::string> value(const std::string& option, const std::vector<std::string>& arguments) {
    return argumentValue(option, arguments);
}

}  // namespace halvex::SocketTransport
