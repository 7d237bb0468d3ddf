#include "tests/support/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace halvex::testing {

XvfbServer::XvfbServer(int width, int height, int depth) {
    int channel[2];
    if (::pipe(channel) != 0) return;
    pid_ = ::fork();
    if (pid_ < 0) return;
    if (pid_ == 0) {
        ::close(channel[0]);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        std::vector<std::string> arguments{"Xvfb",
                                           "-displayfd",
                                           std::to_string(channel[1]),
                                           "-screen",
                                           "0",
                                           std::to_string(width) + "x" + std::to_string(height) + "x" +
                                               std::to_string(depth),
                                           "-nolisten",
                                           "tcp",
                                           "-noreset"};
        std::vector<char*> pointers;
        for (auto& argument : arguments) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        ::execvp("Xvfb", pointers.data());
        ::_exit(127);
    }
    ::close(channel[1]);
    std::string number;
    // Xvfb writes the display number and a line feed once it accepts connections.
    for (int waited = 0; waited < 100; ++waited) {
        pollfd descriptor{channel[0], POLLIN, 0};
        if (::poll(&descriptor, 1, 100) <= 0) continue;
        char chunk[32];
        const ssize_t count = ::read(channel[0], chunk, sizeof chunk);
        if (count <= 0) break;
        number.append(chunk, static_cast<std::size_t>(count));
        if (number.find('\n') != std::string::npos) break;
    }
    ::close(channel[0]);
    if (const auto newline = number.find('\n'); newline != std::string::npos) {
        display_ = ":" + number.substr(0, newline);
    }
}

XvfbServer::~XvfbServer() {
    stop();
    if (heldSocket_ >= 0) ::close(heldSocket_);
}

void XvfbServer::stop() {
    if (pid_ <= 0) return;
    const pid_t pid = pid_;
    pid_ = -1;
    ::kill(pid, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 200; ++waited) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return;
        ::usleep(10'000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

bool XvfbServer::stopAndHoldDisplayNumber() {
    stop();
    if (display_.empty()) return false;
    // A server takes a number only when it can bind the display's abstract socket as well as its
    // file; a socket bound there (and not listening) keeps servers off it and refuses clients,
    // and it goes away with this process whatever happens.
    const std::string name = "/tmp/.X11-unix/X" + display_.substr(1);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() + 1 >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    heldSocket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (heldSocket_ < 0) return false;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return ::bind(heldSocket_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
}

}  // namespace halvex::testing
