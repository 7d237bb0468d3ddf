#include "tests/support/UnixSocketListener.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace halvex::testing {

UnixSocketListener::UnixSocketListener(std::string path) : path_(std::move(path)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long for the listener");
    std::memcpy(address.sun_path, path_.data(), path_.size());
    ::unlink(path_.c_str());
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 4) != 0) {
        throw std::runtime_error(std::string("listen failed: ") + std::strerror(errno));
    }
}

UnixSocketListener::~UnixSocketListener() {
    closeConnection();
    if (listener_ >= 0) ::close(listener_);
    ::unlink(path_.c_str());
}

bool UnixSocketListener::accept(std::chrono::milliseconds timeout) {
    pollfd descriptor{listener_, POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(timeout.count())) <= 0) return false;
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return connection_ >= 0;
}

void UnixSocketListener::send(const std::string& bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::send(connection_, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
        if (written <= 0) return;
        offset += static_cast<std::size_t>(written);
    }
}

std::optional<std::string> UnixSocketListener::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd descriptor{connection_, POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        char chunk[65536];
        const ssize_t count = ::recv(connection_, chunk, sizeof chunk, 0);
        if (count <= 0) return std::nullopt;
        buffer_.append(chunk, static_cast<std::size_t>(count));
    }
}

void UnixSocketListener::closeConnection() {
    if (connection_ >= 0) ::close(connection_);
    connection_ = -1;
}

}  // namespace halvex::testing
